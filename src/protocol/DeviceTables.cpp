#include "DeviceTables.h"

#include <algorithm>

namespace kestrel {

bool DeviceTable::Append(const DeviceRecord& r) {
    if (full())
        return false;
    records[static_cast<std::size_t>(count_)] = r;
    ++count_;
    full_reported = false;
    return true;
}

void DeviceTable::Clear() {
    ZeroFrom(0);
    count_ = 0;
    full_reported = false;
}

void DeviceTable::ZeroFrom(int i) {
    std::fill(records.begin() + i, records.end(), ZeroRecord());
}

namespace {
FindResult Find(const DeviceTable& table, std::string_view text, KeyKind kind, bool skip_empty) {
    const auto in_use = table.InUse();
    for (std::size_t i = 0; i < in_use.size(); ++i) {
        const DeviceRecord& r = in_use[i];
        const std::string_view key =
            kind == KeyKind::Mac ? FieldText(r.mac_text) : FieldText(r.ip_text);
        if (skip_empty && key.empty())
            continue;
        if (key == text)
            return {static_cast<int>(i), true};
    }
    return {table.count(), false};
}

bool IsCleared(const DeviceRecord& r) {
    const auto bytes = RecordBytes(r);
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}
} // namespace

FindResult FindDiscoveryRecord(const DeviceTable& table, std::string_view text, KeyKind kind) {
    return Find(table, text, kind, false);
}

FindResult FindMonitorRecord(const DeviceTable& table, std::string_view text, KeyKind kind) {
    return Find(table, text, kind, kind == KeyKind::Mac);
}

void CloseDiscoveryGaps(DeviceTable& table) {
    table.KeepOnly([](const DeviceRecord& r) { return !FieldText(r.mac_text).empty(); });
}

void CloseMonitorGaps(DeviceTable& table) {
    table.KeepOnly([](const DeviceRecord& r) { return !IsCleared(r); });
}

} // namespace kestrel
