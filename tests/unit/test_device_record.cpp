// The record is also the monitor.cfg format: every field must land at its
// documented offset, integers little-endian.
#include "protocol/wire/DeviceRecord.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kestrel;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Slice(const DeviceRecord& r, std::size_t offset, std::size_t size) {
    const auto bytes = RecordBytes(r);
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                 bytes.begin() + static_cast<std::ptrdiff_t>(offset + size));
}

Bytes Text(std::string_view s, std::size_t size) {
    Bytes b(size, 0);
    std::copy(s.begin(), s.end(), b.begin());
    return b;
}

TEST(DeviceRecordLayout, FieldsWrittenOneByOneLandAtTheirOffsets) {
    DeviceRecord r = ZeroRecord();
    r.utility_id = 0x11223344;
    SetFieldText(r.mac_text, "0011aabbccdd");
    SetFieldText(r.product_name, "Product");
    SetFieldText(r.system_name, "System");
    SetFieldText(r.location, "Location");
    SetFieldText(r.group_interval_text, "12345");
    SetFieldText(r.ip_text, "192.168.1.10");
    SetFieldText(r.trap_ip_text, "192.168.1.100");
    SetFieldText(r.subnet_mask_text, "255.255.255.0");
    SetFieldText(r.gateway_text, "192.168.1.1");
    SetFieldText(r.password, "secret");
    SetFieldText(r.new_password, "newsecret");
    r.ip = 0xC0A8010A;
    r.trap_ip = 0xC0A80164;
    r.subnet_mask = 0xFFFFFF00;
    r.gateway = 0xC0A80101;
    r.group_interval = -1;
    r.raw_word[0] = 0xAB;
    r.raw_word[1] = 0xCD;
    r.row_state = 2;
    r.missed_polls = 0x01020304;
    r.status_image = -1;
    r.reply_flag = 1;
    r.reply_command = 0x0102;
    r.protocol_version = 2;
    r.interface_version = 3;
    r.sub_version = 1;
    r.agent_mode = AGENT_MODE_LOADER;
    r.dhcp_state = 2;
    r.field_mask[0] = 0x002003FF;
    r.field_mask[1] = 0x11111111;
    r.field_mask[2] = 0x22222222;
    r.field_mask[3] = 0xE0000000;

    const struct {
        const char* field;
        std::size_t offset;
        Bytes expected;
    } cases[] = {
        {"utility_id", 0, {0x44, 0x33, 0x22, 0x11}},
        {"mac_text", 4, Text("0011aabbccdd", 16)},
        {"product_name", 20, Text("Product", 41)},
        {"system_name", 61, Text("System", 21)},
        {"location", 82, Text("Location", 21)},
        {"group_interval_text", 103, Text("12345", 6)},
        {"ip_text", 109, Text("192.168.1.10", 20)},
        {"trap_ip_text", 129, Text("192.168.1.100", 20)},
        {"subnet_mask_text", 149, Text("255.255.255.0", 20)},
        {"gateway_text", 169, Text("192.168.1.1", 20)},
        {"password", 189, Text("secret", 21)},
        {"new_password", 210, Text("newsecret", 22)},
        {"ip", 232, {0x0A, 0x01, 0xA8, 0xC0}},
        {"trap_ip", 236, {0x64, 0x01, 0xA8, 0xC0}},
        {"subnet_mask", 240, {0x00, 0xFF, 0xFF, 0xFF}},
        {"gateway", 244, {0x01, 0x01, 0xA8, 0xC0}},
        {"group_interval", 248, {0xFF, 0xFF, 0xFF, 0xFF}},
        {"raw_word", 252, {0xAB, 0xCD}},
        {"unused", 254, {0x00, 0x00}},
        {"row_state", 256, {0x02, 0x00, 0x00, 0x00}},
        {"missed_polls", 260, {0x04, 0x03, 0x02, 0x01}},
        {"status_image", 264, {0xFF, 0xFF, 0xFF, 0xFF}},
        {"reply_flag", 268, {0x01, 0x00, 0x00, 0x00}},
        {"reply_command", 272, {0x02, 0x01}},
        {"protocol_version", 274, {0x02, 0x00}},
        {"interface_version", 276, {0x03, 0x00}},
        {"sub_version", 278, {0x01, 0x00}},
        {"agent_mode", 280, {0x64, 0x00}},
        {"dhcp_state", 282, {0x02, 0x00}},
        {"field_mask",
         284,
         {0xFF, 0x03, 0x20, 0x00, 0x11, 0x11, 0x11, 0x11, 0x22, 0x22, 0x22, 0x22, 0x00, 0x00, 0x00,
          0xE0}},
    };
    std::size_t covered = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        EXPECT_EQ(Slice(r, c.offset, c.expected.size()), c.expected);
        covered += c.expected.size();
    }
    // The table walks the whole image without gaps.
    EXPECT_EQ(covered, kRecordSize);
}

TEST(DeviceRecordText, OverLongTextIsCutAndTerminatedInsideItsField) {
    DeviceRecord r = ZeroRecord();
    SetFieldText(r.location, "next-door");
    SetFieldText(r.system_name, std::string(30, 'x'));
    EXPECT_EQ(FieldText(r.system_name), std::string(20, 'x'));
    EXPECT_EQ(Slice(r, 61 + 20, 1), Bytes{0x00});
    EXPECT_EQ(FieldText(r.location), "next-door");
}

} // namespace
