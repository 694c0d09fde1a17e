#pragma once
// OnTrap: a trap from a monitored agent lights the trap lamp, marks the agent
// alive, goes to the event log and into the trap table. Traps from any other
// address are dropped without a word.

#include "EventLog.h"
#include "TrapTable.h"
#include "protocol/lists/DeviceTables.h"
#include "protocol/seams/Seams.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kestrel {

// What follows the header of a trap: the agent's address, then its text up to
// the first NUL or the end of the datagram.
struct TrapPayload {
    uint32_t address; // first octet most significant
    std::string_view text;
};

// Empty when the payload is too short to hold the address.
std::optional<TrapPayload> ParseTrapPayload(std::span<const uint8_t> payload);

// A trap from a monitored agent, as stored: who sent it, its words, when.
struct TrapEvent {
    int index = 0; // the agent's record in the monitor table
    std::string ip_text;
    std::string mac_text;
    std::string text;
    std::string stamp; // the time stamp of its log line and table entry
};

class TrapReceiver : public TrapHandler {
public:
    using Listener = std::function<void(const TrapEvent&)>;

    TrapReceiver(DeviceTable& monitor, ListHooks& lists, EventLog& log, TrapTable& table,
                 Listener on_trap = {});

    void HandleTrap(std::span<const uint8_t> fields, const DeviceRecord& staging) override;
    void OnTrap(std::span<const uint8_t> payload);

private:
    DeviceTable& monitor_;
    ListHooks& lists_;
    EventLog& log_;
    TrapTable& table_;
    Listener on_trap_;
};

} // namespace kestrel
