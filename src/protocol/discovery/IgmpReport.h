#pragma once
// The IGMP version 1 Host Membership Report that keeps switches with IGMP
// snooping forwarding the group's traffic to us.

#include <array>
#include <cstdint>
#include <span>

namespace kestrel {

inline constexpr std::size_t kIgmpReportSize = 8;

// 0x12 (version 1, membership report), 0, checksum, group in network order.
std::array<uint8_t, kIgmpReportSize> BuildIgmpReport(uint32_t group);

// RFC 1071: one's-complement sum of big-endian 16-bit words, an odd last byte
// taken as the high byte of a word, carries folded, then complemented.
uint16_t InternetChecksum(std::span<const uint8_t> bytes);

} // namespace kestrel
