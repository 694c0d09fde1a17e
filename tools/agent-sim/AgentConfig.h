#pragma once
// The agents file: one agent per line, key=value words, '#' starts a comment.
//   ip=198.18.1.7 name="core 1" iface=1 password=secret
// Keys a line leaves out take the values of a generated agent (see
// DefaultAgent). The same keys change a running agent ("set IP key=value").

#include "Agent.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::sim {

// Splits a line into words; "double quoted" words may hold spaces, \" and \\.
// A '#' outside quotes ends the line. Fails on an unterminated quote.
std::optional<std::vector<std::string>> SplitWords(std::string_view line);

// Applies one key=value word to the settings; returns an error text, empty on
// success.
std::string ApplySetting(AgentSettings& s, std::string_view word);

// The n-th generated agent (n from 0): address 198.18.1.1 upward, skipping
// .0 and .255, interface versions 1, 2, 3 in turn, varied DHCP and masks.
AgentSettings DefaultAgent(int n, uint32_t utility_id);

// Address of the n-th generated agent.
uint32_t GeneratedAddress(int n);

struct AgentList {
    std::vector<Agent> agents;
    std::string error; // empty on success
};

// Agents of a file's text followed by `count` generated ones whose addresses
// and MACs are still free.
AgentList BuildAgents(std::string_view file_text, int count, uint32_t utility_id);

// One line that describes an agent's current settings, in the file's format.
std::string DescribeAgent(const AgentSettings& s);

} // namespace kestrel::sim
