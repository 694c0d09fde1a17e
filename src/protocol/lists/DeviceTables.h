#pragma once
// The two tables of 256 records behind the discovery and monitor lists.
// Records 0 to count()-1 are in use, one for each row of the list; rows and
// records are matched by key text, never by position.

#include "protocol/wire/DeviceRecord.h"

#include <array>
#include <span>
#include <string_view>

namespace kestrel {

inline constexpr int kTableCapacity = 256;

class DeviceTable {
public:
    // Records past count() are spare; only the operations below grow or
    // shrink the part in use, so it never runs past the table.
    std::array<DeviceRecord, kTableCapacity> records{};
    // The operator has been told that the table is full; set until a record
    // can be added again, so a LAN with more agents gives one box, not one
    // per reply.
    bool full_reported = false;

    int count() const { return count_; }
    bool full() const { return count_ >= kTableCapacity; }
    bool InUse(int i) const { return i >= 0 && i < count_; }
    std::span<DeviceRecord> InUse() { return {records.data(), static_cast<std::size_t>(count_)}; }
    std::span<const DeviceRecord> InUse() const {
        return {records.data(), static_cast<std::size_t>(count_)};
    }

    // Puts r after the records in use; false (and nothing changes) when full.
    bool Append(const DeviceRecord& r);
    void Clear();
    // Keeps the records in use for which keep(record) holds, moved up to
    // indices 0, 1, 2, ... in their order; the rest of the table is zeroed.
    template <typename Keep> void KeepOnly(Keep keep) {
        int next = 0;
        for (int i = 0; i < count_; ++i) {
            if (!keep(records[static_cast<std::size_t>(i)]))
                continue;
            if (next != i)
                records[static_cast<std::size_t>(next)] = records[static_cast<std::size_t>(i)];
            ++next;
        }
        ZeroFrom(next);
        count_ = next;
    }

private:
    void ZeroFrom(int i);

    int count_ = 0; // rows of the list, records in use
};

// The two tables, owned by the front end that shows or serves them and lent
// to the receive path, the polling and the list commands.
struct DeviceTables {
    DeviceTable discovery;
    DeviceTable monitor;
};

// Which list an agent was found or chosen in.
enum class AgentList { Discovery, Monitor };

enum class KeyKind { Mac, Ip };

struct FindResult {
    int index = 0; // the match, or count() (the next free index) when not found
    bool found = false;
};

// Exact, case-sensitive comparison with mac_text or ip_text of the records in
// use, first match wins.
FindResult FindDiscoveryRecord(const DeviceTable& table, std::string_view text, KeyKind kind);
// As above; by MAC it skips records whose mac_text is empty.
FindResult FindMonitorRecord(const DeviceTable& table, std::string_view text, KeyKind kind);

// Removal clears a record to zero; these close the gaps (see KeepOnly).
// Discovery: the records that have a mac_text.
void CloseDiscoveryGaps(DeviceTable& table);
// Monitor: the records that were not cleared. A monitored agent may report
// the address 0.0.0.0, so ip alone does not tell a live record from a gap.
void CloseMonitorGaps(DeviceTable& table);

} // namespace kestrel
