#include "protocol/lists/ListRows.h"

namespace kestrel {

RowKey DiscoveryRowKey(std::string_view mac_text) {
    return {KeyKind::Mac, std::string(mac_text), {}};
}

RowKey MonitorRowKey(std::string_view ip_text, std::string_view mac_text) {
    return {KeyKind::Ip, std::string(ip_text), std::string(mac_text)};
}

RowUpdate DiscoveryRowUpdate(const DeviceTable& table, int i) {
    if (!table.InUse(i))
        return {};
    const DeviceRecord& r = table.records[static_cast<std::size_t>(i)];
    if (r.row_state == kRowNew)
        return {RowUpdate::Kind::Insert, i, {}};
    if (r.row_state == kRowKnown)
        return {RowUpdate::Kind::Rewrite, i, DiscoveryRowKey(FieldText(r.mac_text))};
    return {};
}

RowUpdate MonitorRowUpdate(const DeviceTable& table, int i) {
    if (!table.InUse(i))
        return {};
    const DeviceRecord& r = table.records[static_cast<std::size_t>(i)];
    if (r.row_state == kRowNew)
        return {RowUpdate::Kind::Insert, i, {}};
    return {RowUpdate::Kind::Rewrite, i,
            MonitorRowKey(FieldText(r.ip_text), FieldText(r.mac_text))};
}

FindResult FindRecordOfRow(const DeviceTable& table, const RowKey& row) {
    if (row.kind == KeyKind::Mac)
        return FindDiscoveryRecord(table, row.key, KeyKind::Mac);
    FindResult r = FindMonitorRecord(table, row.key, KeyKind::Ip);
    if (!r.found && !row.fallback.empty())
        r = FindMonitorRecord(table, row.fallback, KeyKind::Mac);
    return r;
}

bool SameDiscoveryMac(std::string_view row_text, std::string_view mac_text) {
    return row_text.substr(0, 12) == mac_text.substr(0, 12);
}

} // namespace kestrel
