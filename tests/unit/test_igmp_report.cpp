// The keep-alive membership report, byte for byte.
#include "protocol/discovery/IgmpReport.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

using namespace kestrel;

namespace {

using Report = std::array<uint8_t, kIgmpReportSize>;

TEST(IgmpReport, LiteralBytesForTheGroups) {
    const struct {
        uint32_t group;
        Report bytes;
    } cases[] = {
        {0xEFFFFFFA, {0x12, 0x00, 0xFE, 0x04, 0xEF, 0xFF, 0xFF, 0xFA}}, // 239.255.255.250
        {0xE0000001, {0x12, 0x00, 0x0D, 0xFE, 0xE0, 0x00, 0x00, 0x01}}, // 224.0.0.1
        {0xE0000016, {0x12, 0x00, 0x0D, 0xE9, 0xE0, 0x00, 0x00, 0x16}}, // 224.0.0.22
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.group);
        const Report r = BuildIgmpReport(c.group);
        EXPECT_EQ(r, c.bytes);
        // A receiver summing the whole report, checksum included, gets 0.
        EXPECT_EQ(InternetChecksum(r), 0);
    }
}

TEST(InternetChecksum, Rfc1071Cases) {
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        uint16_t checksum;
    } cases[] = {
        {"empty", {}, 0xFFFF},
        // The worked example of RFC 1071: sum ddf2, complement 220d.
        {"rfc example", {0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7}, 0x220D},
        {"odd last byte is a high byte", {0x01}, 0xFEFF},
        {"odd length", {0x12, 0x34, 0x56}, static_cast<uint16_t>(~(0x1234 + 0x5600))},
        {"carries folded", {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x02}, 0xFFFD},
        {"all zero", {0x00, 0x00, 0x00, 0x00}, 0xFFFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(InternetChecksum(c.bytes), c.checksum);
    }
}

} // namespace
