#include "protocol/discovery/IgmpReport.h"

#include "protocol/wire/ByteOrder.h"

namespace kestrel {

std::array<uint8_t, kIgmpReportSize> BuildIgmpReport(uint32_t group) {
    std::array<uint8_t, kIgmpReportSize> report{};
    report[0] = 0x12;
    PutU32(report, 4, group);
    PutU16(report, 2, InternetChecksum(report));
    return report;
}

uint16_t InternetChecksum(std::span<const uint8_t> bytes) {
    // 64 bits cannot overflow for any buffer that fits in memory.
    uint64_t sum = 0;
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2)
        sum += static_cast<uint64_t>((bytes[i] << 8) | bytes[i + 1]);
    if (i < bytes.size())
        sum += static_cast<uint64_t>(bytes[i] << 8);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

} // namespace kestrel
