#include "protocol/lists/ListCommands.h"

#include "protocol/lists/ListMessages.h"
#include "protocol/wire/HostAddress.h"
#include "protocol/wire/Ipv4Text.h"

namespace kestrel {

namespace {
// Another discovered agent with the same address. Records already moved by
// this command are cleared; they are no agents.
bool SharesDiscoveryAddress(const DeviceTable& discovery, int index) {
    const DeviceRecord& agent = discovery.records[static_cast<std::size_t>(index)];
    const auto in_use = discovery.InUse();
    for (std::size_t j = 0; j < in_use.size(); ++j) {
        const DeviceRecord& other = in_use[j];
        if (static_cast<int>(j) != index && !FieldText(other.mac_text).empty() &&
            other.ip == agent.ip)
            return true;
    }
    return false;
}
} // namespace

void ListCommands::MoveToMonitor(std::span<const std::string> discovery_macs) {
    DeviceTable& found_in = tables_.discovery;
    DeviceTable& monitor = tables_.monitor;
    for (const std::string& mac : discovery_macs) {
        const FindResult d = FindDiscoveryRecord(found_in, mac, KeyKind::Mac);
        if (!d.found)
            continue;
        DeviceRecord& agent = found_in.records[static_cast<std::size_t>(d.index)];
        if (FindMonitorRecord(monitor, FieldText(agent.ip_text), KeyKind::Ip).found ||
            SharesDiscoveryAddress(found_in, d.index)) {
            notifier_.Show(kMoveDuplicateIp);
            continue;
        }
        DeviceRecord moved = agent;
        moved.status_image = kImageNone;
        moved.row_state = kRowNew;
        if (!monitor.Append(moved)) {
            // The monitor table holds 256 agents; the rest stay where they are.
            notifier_.Show(kMoveMonitorFull);
            break;
        }
        lists_.RefreshMonitorRow(monitor.count() - 1);
        lists_.RemoveDiscoveryRow(FieldText(agent.mac_text));
        ClearRecord(agent);
    }
    CloseDiscoveryGaps(found_in);
}

bool ListCommands::MonitorHasRoom() {
    if (!tables_.monitor.full())
        return true;
    notifier_.Show(kAddMonitorFull);
    return false;
}

RemoteAddressResult ReadRemoteAddress(uint32_t address) {
    if (address == 0 || !IsLegalHostAddress(address))
        return {.record = std::nullopt, .failure = kIllegalIpAddress};
    DeviceRecord r = ZeroRecord();
    SetFieldText(r.ip_text, FormatIpv4(address));
    r.ip = address;
    r.utility_id = kBuiltInUtilityId;
    r.row_state = kRowNew;
    r.status_image = kImageNone;
    return {.record = r, .failure = std::nullopt};
}

void ListCommands::AddByAddress(const DeviceRecord& added) {
    if (!MonitorHasRoom())
        return;
    const std::string_view ip_text = FieldText(added.ip_text);
    if (FindMonitorRecord(tables_.monitor, ip_text, KeyKind::Ip).found ||
        FindDiscoveryRecord(tables_.discovery, ip_text, KeyKind::Ip).found) {
        notifier_.Show(kAddDuplicateIp);
        return;
    }
    tables_.monitor.Append(added);
    lists_.RefreshMonitorRow(tables_.monitor.count() - 1);
}

void ListCommands::DeleteMonitored(std::span<const RowKey> rows) {
    if (rows.empty() || !notifier_.Ask(kDeleteQuestion))
        return;
    // The rows were named before the question; replies that arrived while
    // it was open may have moved records, so each is looked up again.
    DeviceTable& monitor = tables_.monitor;
    for (const RowKey& row : rows) {
        const FindResult r = FindRecordOfRow(monitor, row);
        if (r.found)
            ClearRecord(monitor.records[static_cast<std::size_t>(r.index)]);
    }
    CloseMonitorGaps(monitor);
    for (const RowKey& row : rows)
        lists_.RemoveMonitorRow(row.key, row.fallback);
}

} // namespace kestrel
