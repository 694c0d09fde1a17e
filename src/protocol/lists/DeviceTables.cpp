#include "protocol/lists/DeviceTables.h"

#include <algorithm>
#include <cstring>

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
// FieldText(field) == text without measuring the field first: every reply
// looks its agent up. MAC texts of one vendor, and addresses of one network,
// share their first bytes and differ in the last: that one is compared first.
template <std::size_t N> bool FieldEquals(const char (&field)[N], std::string_view text) {
    return text.size() <= N && (text.empty() || field[text.size() - 1] == text.back()) &&
           std::memcmp(field, text.data(), text.size()) == 0 &&
           (text.size() == N || field[text.size()] == '\0');
}

FindResult Find(const DeviceTable& table, std::string_view text, KeyKind kind, bool skip_empty) {
    // A field's text never holds a NUL, so such a text matches nothing.
    if (text.find('\0') != std::string_view::npos || (skip_empty && text.empty()))
        return {table.count(), false};
    const auto in_use = table.InUse();
    for (std::size_t i = 0; i < in_use.size(); ++i) {
        const DeviceRecord& r = in_use[i];
        if (kind == KeyKind::Mac ? FieldEquals(r.mac_text, text) : FieldEquals(r.ip_text, text))
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
