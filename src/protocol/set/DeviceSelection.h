#pragma once
// Which agent a set command or a firmware upgrade is meant for: exactly one
// selected row in the two lists, an agent whose versions this program
// speaks, and (for the commands that change settings) not in its boot
// loader.

#include "protocol/seams/Notifier.h"
#include "protocol/settings/ProgramState.h"

#include <optional>

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

// Checks the selection in order and shows the first refusal. On go-ahead the
// selection context (target_in_monitor, target_index) is written; on a
// refusal after the version test it is written too, as the order of the
// checks has it.
bool CheckDeviceSelection(ProgramState& state, const ListSelection& selection, SetCommandKind kind,
                          Notifier& notifier);

// The record of the agent chosen by the last successful check.
const DeviceRecord& TargetRecord(const ProgramState& state);

} // namespace kestrel
