#include "protocol/upgrade/FirmwareImageSize.h"
#include "protocol/upgrade/TftpPackets.h"
#include "protocol/upgrade/TftpTransfer.h"
#include "protocol/upgrade/UpgradeMessages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kestrel;

namespace {

using Bytes = std::vector<uint8_t>;

TEST(TftpPackets, WriteRequestCarriesTheFullPathAndOctetMode) {
    // opcode 2, file name, NUL, "octet", NUL
    EXPECT_EQ(BuildWriteRequest("/fw/a.hex"),
              (Bytes{0x00, 0x02, '/', 'f', 'w', '/', 'a', '.', 'h', 'e', 'x', 0x00, 'o', 'c', 't',
                     'e', 't', 0x00}));
    EXPECT_EQ(BuildWriteRequest(""), (Bytes{0x00, 0x02, 0x00, 'o', 'c', 't', 'e', 't', 0x00}));
}

TEST(TftpPackets, DataIsOpcodeBlockNumberAndBytes) {
    const Bytes three = {0xDE, 0xAD, 0x00};
    EXPECT_EQ(BuildDataPacket(0x1234, three), (Bytes{0x00, 0x03, 0x12, 0x34, 0xDE, 0xAD, 0x00}));
    EXPECT_EQ(BuildDataPacket(0xFFFF, {}), (Bytes{0x00, 0x03, 0xFF, 0xFF}));
}

struct ParseCase {
    const char* name;
    Bytes datagram;
    bool parsed;
    uint16_t opcode;
    uint16_t number;
    std::string text;
};

TEST(TftpPackets, ParsesWhatTheDeviceSends) {
    Bytes long_error = {0x00, 0x05, 0x00, 0x03};
    long_error.resize(600, 'x'); // no NUL; only 508 bytes of text fit the read limit
    const std::vector<ParseCase> cases = {
        {"ack 0", {0x00, 0x04, 0x00, 0x00}, true, 4, 0, ""},
        {"ack 65535", {0x00, 0x04, 0xFF, 0xFF}, true, 4, 0xFFFF, ""},
        {"ack with trailing bytes", {0x00, 0x04, 0x01, 0x02, 0x09}, true, 4, 0x0102, ""},
        {"error ending in NUL", {0x00, 0x05, 0x00, 0x02, 'n', 'o', 0x00, 'x'}, true, 5, 2, "no"},
        {"error without NUL", {0x00, 0x05, 0x00, 0x00, 'a', 'b'}, true, 5, 0, "ab"},
        {"error without message", {0x00, 0x05, 0x00, 0x01}, true, 5, 1, ""},
        {"error past the read limit", long_error, true, 5, 3, std::string(508, 'x')},
        {"three bytes", {0x00, 0x04, 0x00}, false, 0, 0, ""},
        {"empty", {}, false, 0, 0, ""},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto packet = ParseTftpPacket(c.datagram);
        ASSERT_EQ(packet.has_value(), c.parsed);
        if (!packet)
            continue;
        EXPECT_EQ(packet->opcode, c.opcode);
        EXPECT_EQ(packet->number, c.number);
        EXPECT_EQ(packet->text, c.text);
    }
}

TEST(TftpPackets, LongDeviceErrorsAreCutToNinetyNineCharacters) {
    EXPECT_EQ(DeviceErrorText(""), "");
    EXPECT_EQ(DeviceErrorText(std::string(99, 'e')), std::string(99, 'e'));
    EXPECT_EQ(DeviceErrorText(std::string(100, 'e')), std::string(96, 'e') + "...");
    EXPECT_EQ(DeviceErrorText(std::string(508, 'e')).size(), 99u);
}

TEST(FirmwareImageSize, RefusesImagesThatWouldWrapTheBlockNumber) {
    EXPECT_EQ(CheckFirmwareImageSize(0), std::nullopt);
    // 65534 full blocks and a last one of 511 bytes: block 65535 ends it.
    EXPECT_EQ(CheckFirmwareImageSize(65535ull * 512 - 1), std::nullopt);
    // 65535 full blocks would need an empty block numbered 0.
    EXPECT_EQ(CheckFirmwareImageSize(65535ull * 512), kFirmwareTooLarge);
    EXPECT_EQ(CheckFirmwareImageSize(1ull << 32), kFirmwareTooLarge);
    EXPECT_EQ(kFirmwareTooLarge.caption, "Error");
    EXPECT_EQ(kFirmwareTooLarge.icon, MessageIcon::Error);
}

TEST(UpgradeMessages, CountsAreWrittenIntoTheTexts) {
    EXPECT_EQ(UpgradeProgressText(1024, 2048), "Upgrade...1024/2048 bytes");
    EXPECT_EQ(UpgradeCompleteText(0, 0), "Complete...0/0 bytes");
    EXPECT_EQ(TransferFailText(33553919, 33553919),
              "Upgrade fail, translate 33553919/33553919 bytes");
}

} // namespace
