#include "protocol/set/DeviceSelection.h"

#include "protocol/set/SetMessages.h"
#include "protocol/wire/PacketHeader.h"

namespace kestrel {

bool CheckDeviceSelection(ProgramState& state, const ListSelection& selection, SetCommandKind kind,
                          Notifier& notifier) {
    if (selection.discovery_rows > 1 || selection.monitor_rows > 1) {
        notifier.Show(kOnlyOneDevice);
        return false;
    }
    if (selection.discovery_rows == 0 && selection.monitor_rows == 0) {
        notifier.Show(kSelectOneDevice);
        return false;
    }
    // A selection in the discovery list wins over one in the monitor list.
    const bool in_monitor = selection.discovery_rows == 0;
    const DeviceTable& table = in_monitor ? state.monitor : state.discovery;
    // Rows and records go together; a row without its record must not
    // send anything to whatever now sits at some index.
    if (!selection.record_index || !table.InUse(*selection.record_index)) {
        notifier.Show(kSelectedDeviceGone);
        return false;
    }
    const int index = *selection.record_index;
    const DeviceRecord& record = table.records[static_cast<std::size_t>(index)];
    if (record.protocol_version != kProtocolVersion) {
        notifier.Show(kProtocolVersionNotSupported);
        return false;
    }
    if (record.interface_version > 3) {
        notifier.Show(kInterfaceVersionNotSupported);
        return false;
    }
    state.target_in_monitor = in_monitor;
    state.target_index = index;

    const bool changes_settings =
        kind == SetCommandKind::Configuration || kind == SetCommandKind::PasswordChange;
    if (changes_settings && record.agent_mode == AGENT_MODE_LOADER) {
        notifier.Show(in_monitor ? kLoaderModeMonitor : kLoaderModeDiscovery);
        return false;
    }
    return true;
}

const DeviceRecord& TargetRecord(const ProgramState& state) {
    const DeviceTable& table = state.target_in_monitor ? state.monitor : state.discovery;
    return table.records[static_cast<std::size_t>(state.target_index)];
}

} // namespace kestrel
