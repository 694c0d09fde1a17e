#include "DeviceTables.h"

#include <algorithm>

namespace kestrel {

namespace {
FindResult Find(const DeviceTable& table, std::string_view text, KeyKind kind, bool skip_empty) {
    for (int i = 0; i < table.count; ++i) {
        const DeviceRecord& r = table.records[i];
        const std::string_view key =
            kind == KeyKind::Mac ? FieldText(r.mac_text) : FieldText(r.ip_text);
        if (skip_empty && key.empty())
            continue;
        if (key == text)
            return {i, true};
    }
    return {table.count, false};
}

template <typename Keep> void CloseGaps(DeviceTable& table, Keep keep) {
    const int in_use = std::clamp(table.count, 0, kTableCapacity);
    int next = 0;
    for (int i = 0; i < in_use; ++i) {
        if (!keep(table.records[i]))
            continue;
        if (next != i)
            table.records[next] = table.records[i];
        ++next;
    }
    std::fill(table.records.begin() + next, table.records.end(), ZeroRecord());
    table.count = next;
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
    CloseGaps(table, [](const DeviceRecord& r) { return !FieldText(r.mac_text).empty(); });
}

void CloseMonitorGaps(DeviceTable& table) {
    CloseGaps(table, [](const DeviceRecord& r) { return !IsCleared(r); });
}

} // namespace kestrel
