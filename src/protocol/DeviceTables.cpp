#include "DeviceTables.h"

namespace kestrel {

namespace {
FindResult Find(const DeviceTable& table, std::string_view text, KeyKind kind, bool skip_empty) {
    for (int i = 0; i < table.count; ++i) {
        const DeviceRecord& r = table.records[i];
        const std::string_view key = kind == KeyKind::Mac ? FieldText(r.mac_text) : FieldText(r.ip_text);
        if (skip_empty && key.empty())
            continue;
        if (key == text)
            return {i, true};
    }
    return {table.count, false};
}
} // namespace

FindResult FindDiscoveryRecord(const DeviceTable& table, std::string_view text, KeyKind kind) {
    return Find(table, text, kind, false);
}

FindResult FindMonitorRecord(const DeviceTable& table, std::string_view text, KeyKind kind) {
    return Find(table, text, kind, kind == KeyKind::Mac);
}

} // namespace kestrel
