#pragma once
// The traps received since start-up or the last "Clear all": 1500 entries of
// which 1499 are used, oldest first; when full, a new trap drops the oldest.
// The entries sit in a ring, so a trap into a full table moves nothing.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrel {

inline constexpr int kTrapTableSize = 1500;
inline constexpr int kTrapTableUsed = kTrapTableSize - 1;

inline constexpr int32_t kTrapNew = 0;   // the row shows the new-trap image
inline constexpr int32_t kTrapRead = -1; // no image

struct TrapEntry {
    char time_text[20];
    char ip_text[20];
    char event_text[256]; // at most 255 characters; the log keeps the whole text
    int32_t read_mark;
    // Never reused while the process lives, so a row keeps naming its trap
    // however many traps arrive after it.
    uint64_t serial;
};

class TrapTable {
public:
    TrapTable() { Clear(); }

    // Stores a trap as new, dropping the oldest when full; counts it.
    void Add(std::string_view time_text, std::string_view ip_text, std::string_view event_text);
    // Empties every entry and sets the count to 0.
    void Clear();

    // Traps accepted since start-up or Clear; goes on past the table's size.
    long long count() const { return count_; }
    // Entries held, at most kTrapTableUsed.
    int size() const { return size_; }
    // Entry i in arrival order, 0 the oldest; i below size().
    const TrapEntry& Entry(int i) const { return ring_[Slot(i)]; }
    // The entry of a trap by its serial, while it is still held.
    TrapEntry* BySerial(uint64_t serial);

private:
    std::size_t Slot(int i) const {
        return static_cast<std::size_t>((first_ + i) % kTrapTableUsed);
    }

    std::array<TrapEntry, kTrapTableUsed> ring_;
    int first_ = 0; // slot of the oldest entry
    int size_ = 0;
    long long count_ = 0;
    uint64_t next_serial_ = 1;
};

} // namespace kestrel
