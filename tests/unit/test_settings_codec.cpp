// Checksum, scrambling and the entry layout of define.ecf, without files.
#include "EcfFixture.h"
#include "protocol/settings/SettingsCodec.h"
#include "protocol/settings/SettingsDefaults.h"

#include <gtest/gtest.h>

#include <set>

using namespace kestrel;
using namespace ecf_fixture;

namespace {

TEST(SettingsChecksum, FoldsTheWrappingSumTwice) {
    const struct {
        const char* name;
        Bytes bytes;
        uint8_t checksum;
    } cases[] = {
        {"empty", {}, 0x00},
        {"single byte", {0x37}, 0x37},
        {"carry folded once", {0xFF, 0x02}, 0x02},      // 0x101 -> 0x01 + 0x01
        {"folded twice", Bytes(257, 0xFF), 0xFF},       // 0xFFFF -> 0x1FE -> 0xFF
        {"sum wraps at 65536", Bytes(300, 0xFF), 0xFE}, // 76500 & 0xFFFF = 0x2AD4
        {"whole file with trailer", {0x37, 0xC8, 0xFF}, 0xFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SettingsChecksum(c.bytes), c.checksum);
    }
}

TEST(SettingsChecksum, TrailerOfBodySummingTo0x37IsC8FF) {
    const Bytes body = {0x30, 0x07}; // checksum 0x37
    ASSERT_EQ(SettingsChecksum(body), 0x37);
    EXPECT_EQ(SettingsTrailer(body), (std::array<uint8_t, 2>{0xC8, 0xFF}));
}

TEST(Scrambling, MatchesTheFormulaAndInvertsEveryByte) {
    std::set<uint8_t> images;
    for (int c = 0; c < 256; ++c) {
        const auto b = static_cast<uint8_t>(c);
        SCOPED_TRACE(c);
        EXPECT_EQ(ScrambleByte(b), ScrambleByFormula(b));
        EXPECT_EQ(UnscrambleByte(ScrambleByte(b)), b);
        if (c >= 32 && c <= 127) {
            EXPECT_GE(ScrambleByte(b), 32);
            EXPECT_LE(ScrambleByte(b), 127);
            images.insert(ScrambleByte(b));
        } else {
            EXPECT_EQ(ScrambleByte(b), b);
            EXPECT_EQ(UnscrambleByte(b), b);
        }
    }
    EXPECT_EQ(images.size(), 96u); // a permutation of 32..127
    EXPECT_EQ(ScrambleByte('\r'), '\r');
    EXPECT_EQ(ScrambleByte('\n'), '\n');
    // The key actually changes the text.
    EXPECT_NE(ScrambleByte('='), '=');
}

TEST(SettingsText, ValuesAreFoundByPositionAfterEachEquals) {
    const struct {
        const char* name;
        std::string text;
        SettingsEntries expected;
    } cases[] = {
        {"typical",
         "id=0000002Aport=01F4group=239.255.255.250multicast_timer_flag=1strlen_multi_timer=3"
         "multicast_timer=300",
         {42, 500, "239.255.255.250", 1, 3, 300}},
        {"names are free",
         "a=4B455354b=1392c=239.001.002.003d=0e=4f=1225",
         {0x4B455354, 5010, "239.001.002.003", 0, 4, 1225}},
        {"lowercase hex",
         "x=deadbeefy=ffffz=224.000.000.001f=1l=1t=0",
         {0xDEADBEEF, 0xFFFF, "224.000.000.001", 1, 1, 0}},
        {"not hex gives 0",
         "x=0000002Gy=01F4z=239.255.255.250f=1l=3t=300",
         {0, 500, "239.255.255.250", 1, 3, 300}},
        {"not decimal gives 0",
         "x=00000001y=0001z=239.255.255.250f=xl=3t=1x0",
         {1, 1, "239.255.255.250", 0, 3, 0}},
        {"no equals at all", "nothing here", {0, 0, "", 0, 0, 0}},
        {"text ends early", "x=0000", {0, 0, "", 0, 0, 0}},
        {"length digit not a digit",
         "x=00000001y=0001z=239.255.255.250f=1l=?t=300",
         {1, 1, "239.255.255.250", 1, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const SettingsEntries e = ParseSettingsText(c.text);
        EXPECT_EQ(e.utility_id, c.expected.utility_id);
        EXPECT_EQ(e.base_port, c.expected.base_port);
        EXPECT_EQ(e.multicast_group, c.expected.multicast_group);
        EXPECT_EQ(e.multicast_timer_flag, c.expected.multicast_timer_flag);
        EXPECT_EQ(e.timer_length, c.expected.timer_length);
        EXPECT_EQ(e.multicast_timer, c.expected.multicast_timer);
    }
}

TEST(SettingsText, ShortValueTakesCharactersOfTheNextEntry) {
    // "2A" is followed by the next entry's name: not hex, so 0.
    const SettingsEntries e = ParseSettingsText("id=2Aport=01F4");
    EXPECT_EQ(e.utility_id, 0u);
}

TEST(SettingsImage, DefaultsBuildTheExpectedBodyAndTrailer) {
    const std::string expected_text = Body("4B455354", "1392", "239.255.255.250", '0', "120");
    EXPECT_EQ(BuildSettingsText(DefaultSettings()), expected_text);
    EXPECT_EQ(BuildSettingsImage(DefaultSettings()), StoredFile(expected_text));
}

TEST(SettingsImage, DecodeChecksTheWholeFileAndReadsTheEntries) {
    const Bytes stored = StoredFile(Body("0000002A", "01F4", "239.255.255.250", '1', "300"));
    DecodedSettings d = DecodeSettingsImage(stored);
    EXPECT_TRUE(d.checksum_ok);
    EXPECT_EQ(d.entries.utility_id, 42u);
    EXPECT_EQ(d.entries.base_port, 500);
    EXPECT_EQ(d.entries.multicast_group, "239.255.255.250");
    EXPECT_EQ(d.entries.multicast_timer_flag, 1);
    EXPECT_EQ(d.entries.timer_length, 3);
    EXPECT_EQ(d.entries.multicast_timer, 300);

    Bytes damaged = stored;
    damaged[3] ^= 0x01;
    EXPECT_FALSE(DecodeSettingsImage(damaged).checksum_ok);
    // Too short to carry a trailer, even though 0xFF sums to 0xFF.
    EXPECT_FALSE(DecodeSettingsImage(Bytes{0xFF}).checksum_ok);
    EXPECT_FALSE(DecodeSettingsImage(Bytes{}).checksum_ok);
}

TEST(SettingsValues, CheckRejectsWhatCannotBeStored) {
    ProtocolSettings v = DefaultSettings();
    EXPECT_FALSE(CheckSettingsValues(v));
    const struct {
        const char* name;
        void (*change)(ProtocolSettings&);
    } bad[] = {
        {"group of 14", [](ProtocolSettings& s) { s.multicast_group = "239.255.255.25"; }},
        {"group of 16", [](ProtocolSettings& s) { s.multicast_group = "239.255.255.250 "; }},
        {"group with =", [](ProtocolSettings& s) { s.multicast_group = "239.255.255=250"; }},
        {"group with CR", [](ProtocolSettings& s) { s.multicast_group = "239.255.255\r250"; }},
        {"flag 2", [](ProtocolSettings& s) { s.multicast_timer_flag = 2; }},
        {"negative period", [](ProtocolSettings& s) { s.multicast_timer = -1; }},
        {"period of 10 digits", [](ProtocolSettings& s) { s.multicast_timer = 1000000000; }},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.name);
        ProtocolSettings s = DefaultSettings();
        c.change(s);
        EXPECT_TRUE(CheckSettingsValues(s));
    }
}

TEST(TimerRewrite, ReplacesEntriesFourToSixAndDropsTheTail) {
    const std::string head =
        "utility_id=0000002A\r\nbase_port=01F4\r\nmulticast_group=239.255.255.250\r\n";
    const struct {
        const char* name;
        std::string old_text;
        std::string value;
        char flag;
        std::string expected;
    } cases[] = {
        {"1200 over 0",
         head + "multicast_timer_flag=0\r\nstrlen_multi_timer=1\r\nmulticast_timer=0\r\n", "1200",
         '1', head + "multicast_timer_flag=1\r\nstrlen_multi_timer=4\r\nmulticast_timer=1200\r\n"},
        {"0 over 1200, old trailer dropped",
         head +
             "multicast_timer_flag=1\r\nstrlen_multi_timer=4\r\nmulticast_timer=1200\r\n\xC8\xFF",
         "0", '0',
         head + "multicast_timer_flag=0\r\nstrlen_multi_timer=1\r\nmulticast_timer=0\r\n"},
        {"missing final CR LF",
         head + "multicast_timer_flag=0\r\nstrlen_multi_timer=1\r\nmulticast_timer=5", "300", '1',
         head + "multicast_timer_flag=1\r\nstrlen_multi_timer=3\r\nmulticast_timer=300"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RewriteTimerEntries(c.old_text, c.value, c.flag), c.expected);
    }
}

TEST(TimerRewrite, RefusesWhatItCannotRewriteSafely) {
    const std::string good =
        "multicast_timer_flag=0\r\nstrlen_multi_timer=1\r\nmulticast_timer=0\r\n";
    const struct {
        const char* name;
        std::string text;
        std::string value;
    } cases[] = {
        {"no flag key", "strlen_multi_timer=1\r\nmulticast_timer=0\r\n", "5"},
        {"no length key", "multicast_timer_flag=0\r\nmulticast_timer=0\r\n", "5"},
        {"no timer key", "multicast_timer_flag=0\r\nstrlen_multi_timer=1\r\n", "5"},
        {"keys out of order", "multicast_timer=0\r\nstrlen_multi_timer=1\r\nmulticast_timer_flag=0",
         "5"},
        {"old value past the end",
         "multicast_timer_flag=0\r\nstrlen_multi_timer=9\r\nmulticast_timer=0", "5"},
        {"length digit missing", "multicast_timer_flag=0\r\nstrlen_multi_timer=multicast_timer=0",
         "5"},
        {"empty value", good, ""},
        {"ten digits", good, "1234567890"},
        {"not digits", good, "12a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RewriteTimerEntries(c.text, c.value, '1'), std::nullopt);
    }
}

} // namespace
