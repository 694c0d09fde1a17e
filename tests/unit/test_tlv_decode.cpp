// Decoding the TLV area of a reply into the staging record. Inputs are
// literal bytes; the area is always copied into a buffer of its exact size so
// the address sanitizer sees any read past it.
#include "protocol/wire/TlvCodec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

using namespace kestrel;

namespace {

using Bytes = std::vector<uint8_t>;

// The staging record as the dispatcher presets it before decoding.
DeviceRecord Staging(uint16_t interface_version) {
    DeviceRecord r = ZeroRecord();
    r.dhcp_state = kDhcpNotReported;
    r.group_interval = -1;
    r.interface_version = interface_version;
    return r;
}

DeviceRecord Decoded(const Bytes& area, uint16_t interface_version = 2) {
    DeviceRecord r = Staging(interface_version);
    const Bytes exact(area); // heap copy of exactly the received size
    DecodeReplyFields(exact, r);
    return r;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A text field with a correct length: type, length (text + 4), text.
Bytes TextField(uint8_t type, std::string_view text) {
    Bytes b(4 + text.size());
    b[1] = type;
    b[3] = static_cast<uint8_t>(text.size() + 4);
    std::copy(text.begin(), text.end(), b.begin() + 4);
    return b;
}

bool SameBytes(const DeviceRecord& a, const DeviceRecord& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// One field of a full discovery reply and what it must do to the record.
struct ReplyField {
    Bytes bytes;
    std::function<void(DeviceRecord&)> effect;
};

std::vector<ReplyField> FullReply() {
    return {
        {{0x00, 0x01, 0x00, 0x0B, 'K', 'S', '-', '8', '0', '0', '0'},
         [](DeviceRecord& r) { SetFieldText(r.product_name, "KS-8000"); }},
        {{0x00, 0x02, 0x00, 0x09, 'c', 'o', 'r', 'e', '1'},
         [](DeviceRecord& r) { SetFieldText(r.system_name, "core1"); }},
        {{0x00, 0x03, 0x00, 0x08, 'l', 'a', 'b', '2'},
         [](DeviceRecord& r) { SetFieldText(r.location, "lab2"); }},
        {{0x00, 0x04, 0x00, 0x08, 0xC0, 0xA8, 0x01, 0x0A},
         [](DeviceRecord& r) {
             r.ip = 0xC0A8010A;
             SetFieldText(r.ip_text, "192.168.1.10");
         }},
        {{0x00, 0x05, 0x00, 0x08, 0xFF, 0xFF, 0xFF, 0x00},
         [](DeviceRecord& r) {
             r.subnet_mask = 0xFFFFFF00;
             SetFieldText(r.subnet_mask_text, "255.255.255.0");
         }},
        {{0x00, 0x06, 0x00, 0x08, 0xC0, 0xA8, 0x01, 0x01},
         [](DeviceRecord& r) {
             r.gateway = 0xC0A80101;
             SetFieldText(r.gateway_text, "192.168.1.1");
         }},
        {{0x00, 0x07, 0x00, 0x08, 0xC0, 0xA8, 0x01, 0x64},
         [](DeviceRecord& r) {
             r.trap_ip = 0xC0A80164;
             SetFieldText(r.trap_ip_text, "192.168.1.100");
         }},
        {{0x00, 0x08, 0x00, 0x07, 'n', 'e', 'w'}, [](DeviceRecord&) {}},
        {{0x00, 0x09, 0x00, 0x08, 'p', 'a', 's', 's'},
         [](DeviceRecord& r) { SetFieldText(r.password, "pass"); }},
        {{0x00, 0x0A, 0x00, 0x06, 0x00, 0x01}, [](DeviceRecord& r) { r.dhcp_state = 1; }},
        {{0x00, 0x15, 0x00, 0x06, 0xAB, 0xCD},
         [](DeviceRecord& r) {
             r.raw_word[0] = 0xAB;
             r.raw_word[1] = 0xCD;
         }},
        {{0x00, 0x16, 0x00, 0x08, 0x00, 0x00, 0x01, 0x2C},
         [](DeviceRecord& r) { r.group_interval = 300; }},
        {{0x00, 0x81, 0x00, 0x14, 0x00, 0x20, 0x03, 0xFF, 0x00, 0x00,
          0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0xE0, 0x00, 0x00, 0x00},
         [](DeviceRecord& r) {
             r.field_mask[0] = 0x002003FF;
             r.field_mask[1] = 1;
             r.field_mask[2] = 2;
             r.field_mask[3] = 0xE0000000;
         }},
    };
}

TEST(DecodeReply, FullReplyFillsEveryField) {
    const std::vector<ReplyField> fields = FullReply();
    Bytes area;
    DeviceRecord expected = Staging(2);
    for (const ReplyField& f : fields) {
        area.insert(area.end(), f.bytes.begin(), f.bytes.end());
        f.effect(expected);
    }
    const DeviceRecord r = Decoded(area);
    EXPECT_EQ(FieldText(r.product_name), "KS-8000");
    EXPECT_EQ(FieldText(r.system_name), "core1");
    EXPECT_EQ(FieldText(r.location), "lab2");
    EXPECT_EQ(r.ip, 0xC0A8010Au);
    EXPECT_EQ(FieldText(r.ip_text), "192.168.1.10");
    EXPECT_EQ(FieldText(r.subnet_mask_text), "255.255.255.0");
    EXPECT_EQ(FieldText(r.gateway_text), "192.168.1.1");
    EXPECT_EQ(r.trap_ip, 0xC0A80164u);
    EXPECT_EQ(FieldText(r.trap_ip_text), "192.168.1.100");
    EXPECT_EQ(FieldText(r.new_password), ""); // never taken from an agent
    EXPECT_EQ(FieldText(r.password), "pass");
    EXPECT_EQ(r.dhcp_state, 1);
    EXPECT_EQ(r.raw_word[0], 0xAB);
    EXPECT_EQ(r.raw_word[1], 0xCD);
    EXPECT_EQ(r.group_interval, 300);
    EXPECT_EQ(r.field_mask[0], 0x002003FFu);
    EXPECT_EQ(r.field_mask[3], 0xE0000000u);
    EXPECT_TRUE(SameBytes(r, expected));
}

// Cut the reply at every length: exactly the fields that arrived whole are
// decoded, nothing from a partial field and nothing after it.
TEST(DecodeReply, TruncationSweepDecodesOnlyWholeFields) {
    const std::vector<ReplyField> fields = FullReply();
    Bytes area;
    std::vector<std::size_t> ends;
    for (const ReplyField& f : fields) {
        area.insert(area.end(), f.bytes.begin(), f.bytes.end());
        ends.push_back(area.size());
    }
    for (std::size_t len = 0; len <= area.size(); ++len) {
        DeviceRecord expected = Staging(2);
        for (std::size_t i = 0; i < fields.size() && ends[i] <= len; ++i)
            fields[i].effect(expected);
        const DeviceRecord r = Decoded(Bytes(area.begin(), area.begin() + static_cast<long>(len)));
        EXPECT_TRUE(SameBytes(r, expected)) << "cut at " << len;
    }
}

TEST(DecodeReply, ProductNameOfLengthNineTakesFiveCharactersAndNineBytes) {
    // What follows nine bytes further is decoded as the next field.
    const DeviceRecord r =
        Decoded(Cat({{0x00, 0x01, 0x00, 0x09, 'S', 'W', '-', '2', '4'}, TextField(2, "sys")}));
    EXPECT_EQ(FieldText(r.product_name), "SW-24");
    EXPECT_EQ(r.product_name[5], '\0');
    EXPECT_EQ(FieldText(r.system_name), "sys");
}

TEST(DecodeReply, UnknownTypeEndsDecodingButKeepsEarlierFields) {
    const DeviceRecord r = Decoded(Cat(
        {TextField(2, "edge-sw"), {0x00, 0x0F, 0x00, 0x08, 1, 2, 3, 4}, TextField(3, "rack 4")}));
    EXPECT_EQ(FieldText(r.system_name), "edge-sw");
    EXPECT_EQ(FieldText(r.location), "");
}

TEST(DecodeReply, EveryStopTypeEndsDecoding) {
    for (const uint16_t type : {0, 11, 15, 20, 23, 100, 128, 130, 0x8000, 0xFFFF}) {
        SCOPED_TRACE(type);
        const Bytes area = Cat(
            {TextField(3, "first"),
             {static_cast<uint8_t>(type >> 8), static_cast<uint8_t>(type), 0x00, 0x08, 0, 0, 0, 0},
             TextField(2, "after")});
        const DeviceRecord r = Decoded(area);
        EXPECT_EQ(FieldText(r.location), "first");
        EXPECT_EQ(FieldText(r.system_name), "");
    }
}

TEST(DecodeReply, AddressTakesEightBytesWhateverItsLength) {
    // Length says 12; the next field starts 8 bytes in.
    const DeviceRecord r =
        Decoded(Cat({{0x00, 0x04, 0x00, 0x0C, 0x0A, 0x00, 0x00, 0x05}, TextField(3, "roof")}));
    EXPECT_EQ(r.ip, 0x0A000005u);
    EXPECT_EQ(FieldText(r.ip_text), "10.0.0.5");
    EXPECT_EQ(FieldText(r.location), "roof");

    // Length 0 does not matter either.
    const DeviceRecord z = Decoded({0x00, 0x07, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(z.trap_ip, 0xFFFFFFFFu);
    EXPECT_EQ(FieldText(z.trap_ip_text), "255.255.255.255");
}

TEST(DecodeReply, DhcpWidthFollowsInterfaceVersion) {
    const Bytes five = {0x00, 0x0A, 0x00, 0x05, 0x01, 0x00, 0x03, 0x00, 0x08, 'a', 'b', 'c', 'd'};
    const Bytes six = {0x00, 0x0A, 0x00, 0x06, 0x00, 0x01, 0x00,
                       0x03, 0x00, 0x08, 'a',  'b',  'c',  'd'};
    const struct {
        const char* name;
        uint16_t interface_version;
        Bytes area;
        uint16_t dhcp_state;
        const char* location;
    } cases[] = {
        // Version 1: one byte, the field takes 5 bytes, location follows.
        {"v1 five-byte field", 1, five, 1, "abcd"},
        // Version 2 reads a u16 and takes 6 bytes: the next head is misread and ends decoding.
        {"v2 over the same bytes", 2, five, 0x0100, ""},
        {"v2 six-byte field", 2, six, 1, "abcd"},
        {"v3 six-byte field", 3, six, 1, "abcd"},
        // Version 1 over a 6-byte field: one byte taken, then a bogus type 256.
        {"v1 over six bytes", 1, six, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DeviceRecord r = Decoded(c.area, c.interface_version);
        EXPECT_EQ(r.dhcp_state, c.dhcp_state);
        EXPECT_EQ(FieldText(r.location), c.location);
    }
}

TEST(DecodeReply, WithoutDhcpOrGroupIntervalThePresetsStay) {
    const DeviceRecord r = Decoded(Cat({TextField(1, "KS"), TextField(2, "sw")}), 3);
    EXPECT_EQ(r.dhcp_state, kDhcpNotReported);
    EXPECT_EQ(r.group_interval, -1);
}

TEST(DecodeReply, OverLongTextsAreCutToTheirFieldAndTerminated) {
    DeviceRecord r = Staging(2);
    SetFieldText(r.group_interval_text, "77");
    const std::string long60(60, 'p');
    const std::string long30(30, 's');
    const Bytes area = Cat({TextField(1, long60),
                            TextField(2, long30),
                            TextField(3, long30),
                            TextField(9, long30),
                            {0x00, 0x16, 0x00, 0x08, 0x00, 0x00, 0x00, 0x3C}});
    DecodeReplyFields(area, r);
    EXPECT_EQ(FieldText(r.product_name), std::string(40, 'p'));
    EXPECT_EQ(r.product_name[40], '\0');
    EXPECT_EQ(FieldText(r.system_name), std::string(20, 's'));
    EXPECT_EQ(FieldText(r.location), std::string(20, 's'));
    EXPECT_EQ(FieldText(r.password), std::string(20, 's'));
    EXPECT_EQ(r.password[20], '\0');
    // Neighbours are untouched and decoding went on after the long fields.
    EXPECT_EQ(FieldText(r.group_interval_text), "77");
    EXPECT_EQ(FieldText(r.new_password), "");
    EXPECT_EQ(r.group_interval, 60);
}

TEST(DecodeReply, BadLengthsStopWithoutDecodingFurther) {
    const Bytes next = TextField(3, "after");
    const struct {
        const char* name;
        Bytes field;
    } cases[] = {
        {"text length 0", {0x00, 0x02, 0x00, 0x00}},
        {"text length 3", {0x00, 0x02, 0x00, 0x03, 'x'}},
        {"new password length 0", {0x00, 0x08, 0x00, 0x00}},
        {"new password length 2", {0x00, 0x08, 0x00, 0x02}},
        {"text past the end", {0x00, 0x01, 0x01, 0x00, 'a', 'b'}},
        {"new password past the end", {0x00, 0x08, 0xFF, 0xFF}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DeviceRecord r = Decoded(Cat({TextField(1, "before"), c.field, next}));
        EXPECT_EQ(FieldText(r.product_name), "before");
        EXPECT_EQ(FieldText(r.system_name), "");
        EXPECT_EQ(FieldText(r.location), "");
    }
}

TEST(DecodeReply, FixedWidthPastTheEndStops) {
    const struct {
        const char* name;
        Bytes tail;
        uint16_t interface_version;
    } cases[] = {
        {"address of 7 bytes", {0x00, 0x04, 0x00, 0x08, 0x0A, 0x00, 0x00}, 2},
        {"dhcp u16 cut", {0x00, 0x0A, 0x00, 0x06, 0x00}, 2},
        {"dhcp byte missing", {0x00, 0x0A, 0x00, 0x05}, 1},
        {"raw word cut", {0x00, 0x15, 0x00, 0x06, 0xAB}, 2},
        {"group interval cut", {0x00, 0x16, 0x00, 0x08, 0x00, 0x00, 0x01}, 2},
        {"field mask cut",
         {0x00, 0x81, 0x00, 0x14, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
          0xFF, 0xFF, 0xFF, 0xFF},
         2},
        {"lone type byte", {0x00}, 2},
        {"type without length", {0x00, 0x01}, 2},
        {"length cut", {0x00, 0x01, 0x00}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DeviceRecord r = Decoded(Cat({TextField(2, "kept"), c.tail}), c.interface_version);
        DeviceRecord expected = Staging(c.interface_version);
        SetFieldText(expected.system_name, "kept");
        EXPECT_TRUE(SameBytes(r, expected));
    }
}

TEST(DecodeReply, FieldMaskReplacesAllFourWords) {
    DeviceRecord r = Staging(1);
    r.field_mask[0] = 0x1FF;
    r.field_mask[2] = 0x55;
    DecodeReplyFields(Bytes{0x00, 0x81, 0x00, 0x14, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00,
                            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00},
                      r);
    EXPECT_EQ(r.field_mask[0], 3u);
    EXPECT_EQ(r.field_mask[1], 0u);
    EXPECT_EQ(r.field_mask[2], 0u);
    EXPECT_EQ(r.field_mask[3], 0x20000000u);
}

TEST(DecodeReply, NegativeGroupIntervalAndEmptyAreaAreHandled) {
    const DeviceRecord r = Decoded({0x00, 0x16, 0x00, 0x08, 0xFF, 0xFF, 0xFF, 0xFE});
    EXPECT_EQ(r.group_interval, -2);
    EXPECT_TRUE(SameBytes(Decoded({}), Staging(2)));
}

} // namespace
