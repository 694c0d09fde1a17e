#pragma once
// The list commands, without widgets: moving agents to the monitor list,
// adding one by address, deleting monitored agents. Rows are named by their
// key texts and changed through the ListHooks; boxes go through the Notifier.

#include "protocol/lists/DeviceTables.h"
#include "protocol/lists/ListRows.h"
#include "protocol/seams/Notifier.h"
#include "protocol/seams/Seams.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace kestrel {

// Written into records the program makes itself; stored and saved, never sent.
inline constexpr uint32_t kBuiltInUtilityId = 0x4B455354;

struct RemoteAddressResult {
    std::optional<DeviceRecord> record; // set when the address was accepted
    std::optional<Message> failure;
};

// What "Add item" makes of a typed address: the record of a new monitored
// agent, or the refusal of an address that is no legal host.
RemoteAddressResult ReadRemoteAddress(uint32_t address);

class ListCommands {
public:
    ListCommands(DeviceTables& tables, ListHooks& lists, Notifier& notifier)
        : tables_(tables), lists_(lists), notifier_(notifier) {}

    // "Add to monitor list": the agents of the given discovery rows (their
    // MAC texts, top down). An agent whose address is monitored already or
    // shared with another discovered agent stays, with a box each; a full
    // monitor list stops the move.
    void MoveToMonitor(std::span<const std::string> discovery_macs);

    // "Add item", before the Remote IP dialog opens: false, after its box,
    // when the monitor list is full.
    bool MonitorHasRoom();
    // "Add item", with the record the dialog filled: appended unless the list
    // filled up meanwhile or its address is listed already.
    void AddByAddress(const DeviceRecord& added);

    // "Delete item": the given monitor rows (MonitorRowKey of their IP and
    // MAC texts), after one question.
    void DeleteMonitored(std::span<const RowKey> rows);

private:
    DeviceTables& tables_;
    ListHooks& lists_;
    Notifier& notifier_;
};

} // namespace kestrel
