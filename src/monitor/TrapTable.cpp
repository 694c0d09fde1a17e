#include "TrapTable.h"

#include "protocol/wire/DeviceRecord.h"

#include <cstring>

namespace kestrel {

void TrapTable::Add(std::string_view time_text, std::string_view ip_text,
                    std::string_view event_text) {
    int index = size_;
    if (size_ == kTrapTableUsed) {
        // The oldest slot becomes the newest.
        index = kTrapTableUsed - 1;
        first_ = (first_ + 1) % kTrapTableUsed;
    } else {
        ++size_;
    }
    TrapEntry& entry = ring_[Slot(index)];
    SetFieldText(entry.time_text, time_text);
    SetFieldText(entry.ip_text, ip_text);
    SetFieldText(entry.event_text, event_text);
    entry.read_mark = kTrapNew;
    entry.serial = next_serial_++;
    ++count_;
}

void TrapTable::Clear() {
    std::memset(ring_.data(), 0, sizeof ring_);
    first_ = 0;
    size_ = 0;
    count_ = 0;
}

TrapEntry* TrapTable::BySerial(uint64_t serial) {
    if (size_ == 0)
        return nullptr;
    const uint64_t oldest = ring_[Slot(0)].serial;
    if (serial < oldest || serial - oldest >= static_cast<uint64_t>(size_))
        return nullptr;
    return &ring_[Slot(static_cast<int>(serial - oldest))];
}

} // namespace kestrel
