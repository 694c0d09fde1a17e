#pragma once
// The two tables of 256 records behind the discovery and monitor lists.
// Records 0 to count-1 are in use, one for each row of the list; rows and
// records are matched by key text, never by position.

#include "DeviceRecord.h"

#include <array>
#include <string_view>

namespace kestrel {

inline constexpr int kTableCapacity = 256;

struct DeviceTable {
    std::array<DeviceRecord, kTableCapacity> records{};
    int count = 0; // rows of the list, records in use
    // The operator has been told that the table is full; set until a record
    // can be added again, so a LAN with more agents gives one box, not one
    // per reply.
    bool full_reported = false;

    void Clear() {
        records.fill(ZeroRecord());
        count = 0;
        full_reported = false;
    }
};

enum class KeyKind { Mac, Ip };

struct FindResult {
    int index = 0; // the match, or count (the next free index) when not found
    bool found = false;
};

// Exact, case-sensitive comparison with mac_text or ip_text of records
// 0..count-1, first match wins.
FindResult FindDiscoveryRecord(const DeviceTable& table, std::string_view text, KeyKind kind);
// As above; by MAC it skips records whose mac_text is empty.
FindResult FindMonitorRecord(const DeviceTable& table, std::string_view text, KeyKind kind);

// Removal clears a record to zero; these move the records still in use up to
// indices 0, 1, 2, ... in their order, zero the rest and set count.
// Discovery: the records that have a mac_text.
void CloseDiscoveryGaps(DeviceTable& table);
// Monitor: the records that were not cleared. A monitored agent may report
// the address 0.0.0.0, so ip alone does not tell a live record from a gap.
void CloseMonitorGaps(DeviceTable& table);

} // namespace kestrel
