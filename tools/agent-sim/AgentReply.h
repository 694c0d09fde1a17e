#pragma once
// The datagrams an agent sends: replies to requests and traps. A reply is the
// 40-byte header (sub-version 1, the agent's own versions, MAC and utility
// identifier, the request's sequence echoed) and, for replies that describe
// the agent, its state as TLV fields.

#include "Agent.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace kestrel::sim {

using Bytes = std::vector<uint8_t>;

// The TLV fields that describe the agent, in this order: product name, system
// name, location, IP address, subnet mask, gateway, trap address, then DHCP
// (1 byte for interface version 1, else 2; left out when not reported), group
// interval (when not -1) and, for interface version 3 only, the field mask.
// Texts and address are the reported ones (see Misbehaviour.h).
void AppendStateFields(Bytes& out, const AgentSettings& s);

// Header only.
Bytes BuildHeaderReply(const AgentSettings& s, uint16_t command, int status, uint16_t sequence);

// Header and the agent's state.
Bytes BuildStateReply(const AgentSettings& s, uint16_t command, int status, uint16_t sequence);

// CMD_TRAP: header, the agent's reported address (network order), the text
// (a hostile agent's own instead) and a NUL.
Bytes BuildTrap(const AgentSettings& s, std::string_view text);

} // namespace kestrel::sim
