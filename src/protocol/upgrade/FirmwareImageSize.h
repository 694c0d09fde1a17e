#pragma once
// Which firmware images a TFTP write can carry. Blocks are numbered from 1
// in 16 bits and the last one must be shorter than 512 bytes, so an image
// of 65535 full blocks or more would need block 0 again and the device
// would write it over the start of its firmware.

#include "protocol/seams/Notifier.h"

#include <cstdint>
#include <optional>

namespace kestrel {

inline constexpr uint64_t kMaxFirmwareImageBytes = 65535ull * 512 - 1;

// The box that refuses an image of this size, or nothing when it fits.
std::optional<Message> CheckFirmwareImageSize(uint64_t size);

} // namespace kestrel
