#include "protocol/wire/PacketHeader.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

using namespace kestrel;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Encoded(std::size_t (*build)(std::span<uint8_t, kHeaderSize>)) {
    std::array<uint8_t, kHeaderSize> out;
    out.fill(0xEE); // every byte must be written
    EXPECT_EQ(build(out), kHeaderSize);
    return Bytes(out.begin(), out.end());
}

TEST(RequestHeader, DiscoveryMatchesLiteralBytes) {
    const Bytes expected = {0x00, 0x02, 0x00, 0x00,             // protocol 2, sub-version 0
                            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // mac: all zero
                            0x00, 0x00, 0x00, 0x01, 0x00, 0x00, // interface 0, command 1, status 0
                            0x00, 0x00, 0x00, 0x2A,             // utility id
                            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // reserved
                            0x00, 0x00,                         // sequence
                            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(Encoded([](std::span<uint8_t, kHeaderSize> out) {
                  return BuildRequestHeader(out, CMD_DISCOVERY, 0x0000002A);
              }),
              expected);
}

TEST(RequestHeader, TargetedRequestsMatchLiteralBytes) {
    struct Case {
        const char* name;
        TargetedRequest request;
        Bytes expected;
    };
    const Case cases[] = {
        {"set by broadcast",
         {CMD_SET, {0x00, 0x11, 0x22, 0xAA, 0xBB, 0xCC}, 0x12345678, 0x0102, false},
         {0x00, 0x02, 0x00, 0x00, 0x00, 0x11, 0x22, 0xAA, 0xBB, 0xCC, 0x00, 0x00, 0x00, 0x03,
          0x00, 0x00, 0x12, 0x34, 0x56, 0x78, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x02,
          0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {"dhcp refresh by unicast",
         {CMD_UNICAST_SET, {0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x01}, 0x0000002A, 0xFFFF, true},
         {0x00, 0x02, 0x00, 0x01, 0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x01, 0x00, 0x03, 0x00, 0x07,
          0x00, 0x00, 0x00, 0x00, 0x00, 0x2A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF,
          0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::array<uint8_t, kHeaderSize> out;
        out.fill(0xEE);
        EXPECT_EQ(BuildTargetedHeader(out, c.request), kHeaderSize);
        EXPECT_EQ(Bytes(out.begin(), out.end()), c.expected);
    }
}

TEST(ReceivedHeader, DecodesEveryFieldBigEndian) {
    const Bytes reply = {0x00, 0x02, 0x00, 0x01, 0x00, 0x11, 0x22, 0xAA, 0xBB, 0xCC,
                         0x00, 0x03, 0x00, 0x04, 0x00, 0x12, 0x12, 0x34, 0x56, 0x78,
                         0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0xAB, 0xCD, 0x77, 0x77,
                         0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77};
    const PacketHeader h = DecodeHeader(reply);
    EXPECT_EQ(h.protocol_version, 2);
    EXPECT_EQ(h.sub_version, 1);
    EXPECT_EQ(h.mac, (MacBytes{0x00, 0x11, 0x22, 0xAA, 0xBB, 0xCC}));
    EXPECT_EQ(h.interface_version, 3);
    EXPECT_EQ(h.command, CMD_SET_REPLY);
    EXPECT_EQ(h.status, 0x0012);
    EXPECT_EQ(h.utility_id, 0x12345678u);
    EXPECT_EQ(h.sequence, 0xABCD);
}

TEST(ReceivedHeader, ShortDatagramReadsAsZeroPadded) {
    Bytes full(kHeaderSize, 0);
    for (std::size_t i = 0; i < 28; ++i)
        full[i] = static_cast<uint8_t>(0x31 + i);
    const Bytes short28(full.begin(), full.begin() + 28);
    const PacketHeader a = DecodeHeader(short28);
    const PacketHeader b = DecodeHeader(full);
    EXPECT_EQ(a.protocol_version, b.protocol_version);
    EXPECT_EQ(a.sub_version, b.sub_version);
    EXPECT_EQ(a.mac, b.mac);
    EXPECT_EQ(a.interface_version, b.interface_version);
    EXPECT_EQ(a.command, b.command);
    EXPECT_EQ(a.status, b.status);
    EXPECT_EQ(a.utility_id, b.utility_id);
    EXPECT_EQ(a.sequence, b.sequence);
    EXPECT_EQ(a.sequence, 0x4B4C);

    // Every shorter length reads like its own zero-padded copy.
    for (std::size_t len = 0; len <= kHeaderSize; ++len) {
        Bytes padded(full.begin(), full.begin() + len);
        padded.resize(kHeaderSize, 0);
        const PacketHeader h = DecodeHeader(std::span(full.data(), len));
        const PacketHeader p = DecodeHeader(padded);
        EXPECT_EQ(h.protocol_version, p.protocol_version) << len;
        EXPECT_EQ(h.mac, p.mac) << len;
        EXPECT_EQ(h.utility_id, p.utility_id) << len;
        EXPECT_EQ(h.sequence, p.sequence) << len;
    }
    EXPECT_EQ(DecodeHeader(std::span(full.data(), 27)).sequence, 0x4B00);
}

TEST(ReceivedHeader, StatusIsLowFourBits) {
    const struct {
        uint16_t raw;
        int status;
    } cases[] = {{0x0012, 2}, {0x0010, 0}, {0x0006, 6}, {0xFFF0, 0}, {0x000F, 15}};
    for (const auto& c : cases) {
        PacketHeader h;
        h.status = c.raw;
        EXPECT_EQ(h.ReplyStatus(), c.status) << std::hex << c.raw;
    }
}

TEST(ReplyStatus, MessagesForEveryStatus) {
    EXPECT_EQ(ReplyStatusMessage(0), "");
    EXPECT_EQ(ReplyStatusMessage(1), "Device return : protocol version Error");
    EXPECT_EQ(ReplyStatusMessage(2), "Device return : password error");
    EXPECT_EQ(ReplyStatusMessage(3), "Device return : command Error");
    EXPECT_EQ(ReplyStatusMessage(4), "Device return : parameters Error");
    EXPECT_EQ(ReplyStatusMessage(5), "Device return : acl Error");
    EXPECT_EQ(ReplyStatusMessage(6), "Device return : dhcp refresh fail");
    for (int s = 7; s <= 15; ++s)
        EXPECT_EQ(ReplyStatusMessage(s), "Device return : unknow error") << s;
}

TEST(VersionText, DecimalHexDecimal) {
    EXPECT_EQ(FormatVersionText(3, 1, 2), "3.001.002");
    EXPECT_EQ(FormatVersionText(2, 1, 3), "2.001.003");
    EXPECT_EQ(FormatVersionText(0, 0, 0), "0.000.000");
    EXPECT_EQ(FormatVersionText(2, 0x1A, 10), "2.01a.010");
    EXPECT_EQ(FormatVersionText(65535, 0xFFFF, 65535), "65535.ffff.65535");
}

} // namespace
