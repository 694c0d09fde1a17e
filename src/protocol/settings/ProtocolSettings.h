#pragma once
// The values define.ecf gives the program: who it is on the wire, its ports
// and its multicast group. Loaded once at start-up; the Group Interval
// dialog rewrites the keep-alive pair.

#include <cstdint>
#include <string>

namespace kestrel {

struct ProtocolSettings {
    uint32_t utility_id = 0;
    uint16_t base_port = 0;
    std::string multicast_group; // dotted decimal, empty when not loaded
    int multicast_timer_flag = 0;
    int multicast_timer = 0;

    // Ports derive from the base port, computed in 16 bits.
    uint16_t BroadcastPort() const { return base_port; }
    uint16_t UnicastPort() const { return static_cast<uint16_t>(base_port + 1); }
    uint16_t AgentPort() const { return static_cast<uint16_t>(base_port + 2); }
    uint16_t MulticastPort() const { return static_cast<uint16_t>(base_port + 6); }
};

} // namespace kestrel
