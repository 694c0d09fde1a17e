#pragma once
// Which agent a set command or a firmware upgrade is meant for: exactly one
// selected row in the two lists, an agent whose versions this program
// speaks, and (for the commands that change settings) not in its boot
// loader.

#include "protocol/lists/DeviceTables.h"
#include "protocol/seams/Notifier.h"

#include <optional>
#include <variant>

namespace kestrel {

enum class SetCommandKind { Configuration, PasswordChange, DhcpRefresh, FirmwareUpgrade };

// What the lists show when a command button is pressed.
struct ListSelection {
    int discovery_rows = 0; // selected rows in each list
    int monitor_rows = 0;
    // Index of the record behind the first selected row of the list meant
    // (the discovery list when it has a selection, else the monitor list),
    // found by the row's key text; none when no record has that key.
    std::optional<int> record_index;
};

// The agent a command goes to: its list and the index of its record there.
struct ChosenAgent {
    AgentList list = AgentList::Discovery;
    int index = 0;

    bool in_monitor() const { return list == AgentList::Monitor; }
    const DeviceRecord& Record(const DeviceTables& tables) const {
        const DeviceTable& table = in_monitor() ? tables.monitor : tables.discovery;
        return table.records[static_cast<std::size_t>(index)];
    }
    DeviceRecord& Record(DeviceTables& tables) const {
        DeviceTable& table = in_monitor() ? tables.monitor : tables.discovery;
        return table.records[static_cast<std::size_t>(index)];
    }
    bool operator==(const ChosenAgent&) const = default;
};

// The chosen agent, or the first refusal of the checks in their order.
using SelectionResult = std::variant<ChosenAgent, Message>;

SelectionResult CheckDeviceSelection(const DeviceTables& tables, const ListSelection& selection,
                                     SetCommandKind kind);

// The check as the window's buttons run it: a refusal is shown.
std::optional<ChosenAgent> ChooseAgent(const DeviceTables& tables, const ListSelection& selection,
                                       SetCommandKind kind, Notifier& notifier);

} // namespace kestrel
