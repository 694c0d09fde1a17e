#pragma once
// OnTrap: a trap from a monitored agent lights the trap lamp, marks the agent
// alive, goes to the event log and into the trap table. Traps from any other
// address are dropped without a word.

#include "EventLog.h"
#include "TrapTable.h"
#include "protocol/seams/Seams.h"
#include "protocol/settings/ProgramState.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
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

class TrapReceiver : public TrapHandler {
public:
    TrapReceiver(ProgramState& state, ListHooks& lists, EventLog& log, TrapTable& table,
                 std::function<void()> light_lamp);

    void HandleTrap(std::span<const uint8_t> fields, const DeviceRecord& staging) override;
    void OnTrap(std::span<const uint8_t> payload);

private:
    ProgramState& state_;
    ListHooks& lists_;
    EventLog& log_;
    TrapTable& table_;
    std::function<void()> light_lamp_;
};

} // namespace kestrel
