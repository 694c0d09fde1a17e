#include "protocol/lists/RowTexts.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace kestrel;

namespace {

DeviceRecord FullRecord() {
    DeviceRecord r = ZeroRecord();
    SetFieldText(r.mac_text, "0011223344ab");
    SetFieldText(r.ip_text, "10.1.2.3");
    SetFieldText(r.product_name, "Switch 8P");
    SetFieldText(r.system_name, "core");
    SetFieldText(r.location, "rack 4");
    SetFieldText(r.trap_ip_text, "10.1.2.250");
    SetFieldText(r.subnet_mask_text, "255.255.255.0");
    SetFieldText(r.gateway_text, "10.1.2.1");
    r.protocol_version = 2;
    r.sub_version = 1;
    r.interface_version = 3;
    r.dhcp_state = 1;
    r.group_interval = 30;
    return r;
}

} // namespace

TEST(RowTexts, VersionUsesHexForSubVersion) {
    DeviceRecord r = ZeroRecord();
    EXPECT_EQ(VersionText(r), "0.000.000");
    r.protocol_version = 2;
    r.sub_version = 0x1A;
    r.interface_version = 12;
    EXPECT_EQ(VersionText(r), "2.01a.012");
}

TEST(RowTexts, DhcpTextCases) {
    const struct {
        uint16_t state;
        const char* text;
    } cases[] = {{0, "disable"}, {1, "enable"}, {2, ""}, {3, "enable"}, {0xFFFF, "enable"}};
    for (const auto& c : cases) {
        DeviceRecord r = ZeroRecord();
        r.dhcp_state = c.state;
        EXPECT_EQ(DhcpText(r), c.text) << "dhcp_state " << c.state;
    }
}

TEST(RowTexts, GroupIntervalTextAndRecordField) {
    const struct {
        int32_t value;
        const char* cell;
        const char* field; // group_interval_text afterwards
    } cases[] = {
        {-1, "", "old"},       // not reported: field untouched
        {0, "disable", "old"}, // disabled: field untouched
        {30, "30", "30"},
        {65535, "65535", "65535"},
        {123456, "123456", "12345"}, // the cell shows it whole, the field holds five
        {-5, "-5", "-5"},
        {-2147483647 - 1, "-2147483648", "-2147"},
    };
    for (const auto& c : cases) {
        DeviceRecord r = ZeroRecord();
        SetFieldText(r.group_interval_text, "old");
        std::memset(r.ip_text, 'x', sizeof r.ip_text); // neighbour must stay intact
        r.group_interval = c.value;
        EXPECT_EQ(GroupIntervalText(r), c.cell) << c.value;
        EXPECT_EQ(FieldText(r.group_interval_text), c.field) << c.value;
        EXPECT_EQ(r.group_interval_text[5], '\0');
        EXPECT_EQ(r.ip_text[0], 'x');
    }
}

TEST(RowTexts, DiscoveryColumnsInOrder) {
    DeviceRecord r = FullRecord();
    const auto texts = DiscoveryRowTexts(r);
    const std::array<std::string, kDiscoveryColumns> expected = {
        "0011223344ab", "10.1.2.3",   "2.001.003",     "Switch 8P", "core", "enable",
        "rack 4",       "10.1.2.250", "255.255.255.0", "10.1.2.1",  "30"};
    EXPECT_EQ(texts, expected);
    EXPECT_EQ(FieldText(r.group_interval_text), "30");
}

TEST(RowTexts, MonitorColumnsInOrder) {
    DeviceRecord r = FullRecord();
    r.dhcp_state = 0;
    r.group_interval = 0;
    const auto texts = MonitorRowTexts(r);
    const std::array<std::string, kMonitorColumns> expected = {
        "",        "10.1.2.3", "0011223344ab", "2.001.003",     "Switch 8P", "core",
        "disable", "rack 4",   "10.1.2.250",   "255.255.255.0", "10.1.2.1",  "disable"};
    EXPECT_EQ(texts, expected);
}

TEST(RowTexts, FieldsWithoutNulStopAtTheirEnd) {
    DeviceRecord r = ZeroRecord();
    std::memset(r.product_name, 'P', sizeof r.product_name);
    std::memset(r.system_name, 'S', sizeof r.system_name);
    const auto texts = DiscoveryRowTexts(r);
    EXPECT_EQ(texts[3], std::string(sizeof r.product_name, 'P'));
    EXPECT_EQ(texts[4], std::string(sizeof r.system_name, 'S'));
}
