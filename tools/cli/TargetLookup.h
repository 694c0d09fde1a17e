#pragma once
// TARGET of set, passwd, dhcp-refresh and upgrade: an IP or a MAC address.
// An agent of the monitor list is polled by unicast and then addressed as
// the window addresses a monitor-list agent; any other agent is found by a
// discovery and addressed as a discovery-list agent (broadcast and group).
// Either way the window's own selection check runs on it as on a click in
// that list, and the chosen agent is handed back.

#include "CliSession.h"
#include "protocol/set/DeviceSelection.h"

#include <cstdint>
#include <optional>
#include <string>

namespace kestrel::cli {

struct Target {
    std::optional<uint32_t> ip;
    std::string mac_text; // 12 lower-case hex digits, empty for an IP
};

// Nothing when the text is neither a dotted IPv4 address nor a MAC of 12 hex
// digits (with ':' or '-' between pairs allowed).
std::optional<Target> ParseTarget(const std::string& text);
// The same for a TARGET argument: says on standard error when it is none.
std::optional<Target> ReadTargetArgument(const std::string& text);

// Finds the agent within timeout_ms and runs CheckDeviceSelection for kind.
// Returns an exit code: kExitOk with the chosen agent in `chosen`, else
// after the reason has been shown.
int SelectTarget(CliSession& session, const Target& target, SetCommandKind kind, int timeout_ms,
                 ChosenAgent& chosen);

} // namespace kestrel::cli
