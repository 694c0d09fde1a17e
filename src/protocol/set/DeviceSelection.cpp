#include "protocol/set/DeviceSelection.h"

#include "protocol/set/SetMessages.h"
#include "protocol/wire/PacketHeader.h"

namespace kestrel {

SelectionResult CheckDeviceSelection(const DeviceTables& tables, const ListSelection& selection,
                                     SetCommandKind kind) {
    if (selection.discovery_rows > 1 || selection.monitor_rows > 1)
        return kOnlyOneDevice;
    if (selection.discovery_rows == 0 && selection.monitor_rows == 0)
        return kSelectOneDevice;
    // A selection in the discovery list wins over one in the monitor list.
    const ChosenAgent chosen{selection.discovery_rows == 0 ? AgentList::Monitor
                                                           : AgentList::Discovery,
                             selection.record_index.value_or(-1)};
    const DeviceTable& table = chosen.in_monitor() ? tables.monitor : tables.discovery;
    // Rows and records go together; a row without its record must not
    // send anything to whatever now sits at some index.
    if (!table.InUse(chosen.index))
        return kSelectedDeviceGone;
    const DeviceRecord& record = chosen.Record(tables);
    if (record.protocol_version != kProtocolVersion)
        return kProtocolVersionNotSupported;
    if (record.interface_version > 3)
        return kInterfaceVersionNotSupported;
    const bool changes_settings =
        kind == SetCommandKind::Configuration || kind == SetCommandKind::PasswordChange;
    if (changes_settings && record.agent_mode == AGENT_MODE_LOADER)
        return chosen.in_monitor() ? kLoaderModeMonitor : kLoaderModeDiscovery;
    return chosen;
}

std::optional<ChosenAgent> ChooseAgent(const DeviceTables& tables, const ListSelection& selection,
                                       SetCommandKind kind, Notifier& notifier) {
    const SelectionResult result = CheckDeviceSelection(tables, selection, kind);
    if (const Message* refusal = std::get_if<Message>(&result)) {
        notifier.Show(*refusal);
        return std::nullopt;
    }
    return std::get<ChosenAgent>(result);
}

} // namespace kestrel
