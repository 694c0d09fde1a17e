// The fields of set requests, checked against literal bytes.
#include "protocol/wire/TlvCodec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <vector>

using namespace kestrel;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kCanary = 0xEE;

DeviceRecord ConfiguredRecord() {
    DeviceRecord r = ZeroRecord();
    SetFieldText(r.password, "pw");
    SetFieldText(r.product_name, "P1");
    SetFieldText(r.system_name, "sys");
    SetFieldText(r.location, "loc");
    r.ip = 0x0A000005;          // 10.0.0.5
    r.gateway = 0x0A000001;     // 10.0.0.1
    r.trap_ip = 0x0A000009;     // 10.0.0.9
    r.subnet_mask = 0xFFFFFF00; // 255.255.255.0
    r.group_interval = 300;
    r.dhcp_state = kDhcpEnabled;
    r.interface_version = 2;
    return r;
}

struct Encoded {
    Bytes bytes;
    uint32_t pending_set_ip;
};

Encoded EncodeSet(const DeviceRecord& r, DhcpChange change) {
    std::array<uint8_t, 1460> out;
    out.fill(kCanary);
    uint32_t pending = 0xDEADBEEF;
    const std::size_t n = EncodeSetFields(out, r, change, pending);
    EXPECT_LE(n, out.size());
    return {Bytes(out.begin(), out.begin() + static_cast<long>(n)), pending};
}

const Bytes kPassword = {0x00, 0x09, 0x00, 0x06, 'p', 'w'};
const Bytes kNames = {0x00, 0x01, 0x00, 0x06, 'P',  '1',  0x00, 0x02, 0x00, 0x07,
                      's',  'y',  's',  0x00, 0x03, 0x00, 0x07, 'l',  'o',  'c'};

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(EncodeSet, NineBitMaskWritesPasswordNamesAndAddressesInOrder) {
    DeviceRecord r = ConfiguredRecord();
    r.field_mask[0] = 0x1FF;
    const Encoded e = EncodeSet(r, DhcpChange::Untouched);
    const Bytes expected =
        Cat({kPassword, kNames, {0x00, 0x04, 0x00, 0x08, 0x0A, 0x00, 0x00, 0x05,    // ip
                                 0x00, 0x06, 0x00, 0x08, 0x0A, 0x00, 0x00, 0x01,    // gateway
                                 0x00, 0x07, 0x00, 0x08, 0x0A, 0x00, 0x00, 0x09,    // trap
                                 0x00, 0x05, 0x00, 0x08, 0xFF, 0xFF, 0xFF, 0x00}}); // mask
    EXPECT_EQ(e.bytes, expected);
    EXPECT_EQ(e.pending_set_ip, 0x0A000005u);
}

TEST(EncodeSet, SwitchingDhcpOnClearsAddressesAndAddsDhcpAndGroupInterval) {
    DeviceRecord r = ConfiguredRecord();
    r.interface_version = 3;
    r.field_mask[0] = 0x3FF | 0x200000;
    const Encoded e = EncodeSet(r, DhcpChange::SwitchOn);
    const Bytes expected =
        Cat({kPassword, kNames, {0x00, 0x04, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00,    // ip 0
                                 0x00, 0x06, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00,    // gateway 0
                                 0x00, 0x07, 0x00, 0x08, 0x0A, 0x00, 0x00, 0x09,    // trap kept
                                 0x00, 0x05, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00,    // mask 0
                                 0x00, 0x0A, 0x00, 0x06, 0x00, 0x01,                // dhcp u16 1
                                 0x00, 0x16, 0x00, 0x08, 0x00, 0x00, 0x01, 0x2C}}); // 300
    EXPECT_EQ(e.bytes, expected);
    // The pending address is the record's, not the zero that was sent.
    EXPECT_EQ(e.pending_set_ip, 0x0A000005u);

    r.group_interval = -1;
    const Encoded without = EncodeSet(r, DhcpChange::SwitchOn);
    EXPECT_EQ(without.bytes, Bytes(expected.begin(), expected.end() - 8));
}

TEST(EncodeSet, DhcpFieldRules) {
    const Bytes addresses = {0x00, 0x04, 0x00, 0x08, 0x0A, 0x00, 0x00, 0x05};
    const struct {
        const char* name;
        uint16_t interface_version;
        uint16_t dhcp_state;
        DhcpChange change;
        Bytes expected;
    } cases[] = {
        {"switch off, version 1: one byte 0", 1, kDhcpEnabled, DhcpChange::SwitchOff,
         Cat({addresses, {0x00, 0x0A, 0x00, 0x05, 0x00}})},
        {"switch on, version 1: one byte state",
         1,
         kDhcpEnabled,
         DhcpChange::SwitchOn,
         {0x00, 0x04, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x05, 0x01}},
        {"switch off, version 2: u16 0", 2, kDhcpEnabled, DhcpChange::SwitchOff,
         Cat({addresses, {0x00, 0x0A, 0x00, 0x06, 0x00, 0x00}})},
        {"untouched: no dhcp field", 2, kDhcpEnabled, DhcpChange::Untouched, addresses},
        {"not reported: no dhcp field", 2, kDhcpNotReported, DhcpChange::SwitchOff, addresses},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeviceRecord r = ConfiguredRecord();
        r.field_mask[0] = 0x8 | 0x200; // ip and dhcp only
        r.interface_version = c.interface_version;
        r.dhcp_state = c.dhcp_state;
        EXPECT_EQ(EncodeSet(r, c.change).bytes, c.expected);
    }
}

TEST(EncodeSet, NewPasswordOnlyWhenNotEmptyAndAllowed) {
    DeviceRecord r = ConfiguredRecord();
    r.field_mask[0] = 0x80 | 0x100;
    EXPECT_EQ(EncodeSet(r, DhcpChange::Untouched).bytes, kPassword);
    SetFieldText(r.new_password, "n3w");
    EXPECT_EQ(EncodeSet(r, DhcpChange::Untouched).bytes,
              Cat({kPassword, {0x00, 0x08, 0x00, 0x07, 'n', '3', 'w'}}));
    r.field_mask[0] = 0x100;
    EXPECT_EQ(EncodeSet(r, DhcpChange::Untouched).bytes, kPassword);
}

TEST(EncodeSet, EmptyMaskWritesNothingAndLeavesPendingAddress) {
    DeviceRecord r = ConfiguredRecord();
    const Encoded e = EncodeSet(r, DhcpChange::SwitchOn);
    EXPECT_TRUE(e.bytes.empty());
    EXPECT_EQ(e.pending_set_ip, 0xDEADBEEFu);
}

TEST(EncodeSet, NeverWritesPastASmallBufferAndKeepsWholeFields) {
    DeviceRecord r = ConfiguredRecord();
    r.field_mask[0] = 0x3FF | 0x200000;
    SetFieldText(r.new_password, "new-password-20chars");
    const Bytes full = EncodeSet(r, DhcpChange::SwitchOff).bytes;
    // Field boundaries of the full encoding, read from the length heads.
    std::vector<std::size_t> ends = {0};
    while (ends.back() + 4 <= full.size())
        ends.push_back(ends.back() + (full[ends.back() + 2] << 8 | full[ends.back() + 3]));
    ASSERT_EQ(ends.back(), full.size());
    ASSERT_EQ(ends.size(), 12u); // 11 fields
    for (std::size_t room = 0; room <= full.size(); ++room) {
        Bytes buffer(full.size() + 8, kCanary);
        uint32_t pending = 0;
        const std::size_t n =
            EncodeSetFields(std::span(buffer.data(), room), r, DhcpChange::SwitchOff, pending);
        ASSERT_LE(n, room);
        // A prefix of whole fields of the full encoding.
        EXPECT_TRUE(
            std::equal(buffer.begin(), buffer.begin() + static_cast<long>(n), full.begin()));
        const Bytes untouched(buffer.begin() + static_cast<long>(n), buffer.end());
        EXPECT_EQ(untouched, Bytes(buffer.size() - n, kCanary)) << "room " << room;
        // Whole fields only: as many as fit in the room.
        EXPECT_EQ(n, *std::prev(std::upper_bound(ends.begin(), ends.end(), room)))
            << "room " << room;
    }
}

TEST(EncodePassword, PasswordThenNewPassword) {
    DeviceRecord r = ConfiguredRecord();
    SetFieldText(r.new_password, "abc");
    const struct {
        uint32_t mask;
        Bytes expected;
    } cases[] = {
        {0x180, Cat({kPassword, {0x00, 0x08, 0x00, 0x07, 'a', 'b', 'c'}})},
        {0x100, kPassword},
        {0x080, {0x00, 0x08, 0x00, 0x07, 'a', 'b', 'c'}},
        {0x07F, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mask);
        r.field_mask[0] = c.mask;
        std::array<uint8_t, 64> out;
        out.fill(kCanary);
        const std::size_t n = EncodePasswordFields(out, r);
        EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<long>(n)), c.expected);
        EXPECT_EQ(out[n], kCanary);
    }
    SetFieldText(r.new_password, "");
    r.field_mask[0] = 0x180;
    std::array<uint8_t, 64> out;
    EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<long>(EncodePasswordFields(out, r))),
              kPassword);
}

TEST(AppendPassword, OneFieldWhateverTheMask) {
    std::array<uint8_t, 16> out;
    out.fill(kCanary);
    EXPECT_EQ(AppendPasswordField(out, "secret"), 10u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 11),
              (Bytes{0x00, 0x09, 0x00, 0x0A, 's', 'e', 'c', 'r', 'e', 't', kCanary}));
    EXPECT_EQ(AppendPasswordField(out, ""), 4u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 4), (Bytes{0x00, 0x09, 0x00, 0x04}));
    // Too little room: nothing is written.
    out.fill(kCanary);
    EXPECT_EQ(AppendPasswordField(std::span(out.data(), 9), "secret"), 0u);
    EXPECT_EQ(out[0], kCanary);
}

TEST(MacText, TwelveLowercaseDigitsFirstByteFirst) {
    EXPECT_EQ(FormatMacText({0x00, 0x11, 0xAA, 0xBB, 0xCC, 0xDD}), "0011aabbccdd");
    EXPECT_EQ(FormatMacText({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), "ffffffffffff");
    EXPECT_EQ(FormatMacText({0x01, 0x02, 0x03, 0x0A, 0xB0, 0x0C}), "0102030ab00c");
}

TEST(HexText, PairsOfDigitsInEitherCase) {
    const struct {
        const char* text;
        std::optional<Bytes> bytes;
    } cases[] = {
        {"0A1b2C", Bytes{0x0A, 0x1B, 0x2C}},
        {"0011aabbccdd", Bytes{0x00, 0x11, 0xAA, 0xBB, 0xCC, 0xDD}},
        {"0A1b2", Bytes{0x0A, 0x1B}}, // odd last digit ignored
        {"f", Bytes{}},
        {"", Bytes{}},
        {"0A1G", std::nullopt},
        {"G", std::nullopt},
        {"0AG", std::nullopt}, // checked even in the ignored position
        {"0a 1b", std::nullopt},
        {"0x1F", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseHexText(c.text), c.bytes);
    }
}

} // namespace
