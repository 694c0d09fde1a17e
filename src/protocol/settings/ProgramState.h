#pragma once
// The program-wide values, in one object handed to whoever needs them, so
// every test starts from a fresh one.

#include "protocol/lists/DeviceTables.h"

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

struct ProgramState {
    ProtocolSettings settings;

    uint16_t set_sequence = 0;
    std::string pending_set_mac; // empty when no set is pending
    uint32_t pending_set_ip = 0; // 0 when none

    // The agent the last successful selection check chose: its list and
    // the index of its record in that list's table.
    bool target_in_monitor = false;
    int target_index = 0;

    std::string upgrade_target_mac;
    uint16_t upgrade_trigger_acked = 0;
    uint16_t upgrade_rediscovered = 0;

    int refresh_period_seconds = 15;

    DeviceTable discovery;
    DeviceTable monitor;
};

} // namespace kestrel
