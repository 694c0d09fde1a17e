// The Group Interval text rules beyond what the 4-character box lets through,
// and the keep-alive settings applied after the rewrite.

#include "EcfFixture.h"
#include "config/GroupIntervalInput.h"
#include "support/FakeNotifier.h"

#include <gtest/gtest.h>

using namespace kestrel;
using namespace ecf_fixture;

TEST(GroupIntervalInput, DigitsThenRangeWithLeadingZerosIgnored) {
    const struct {
        const char* text;
        const char* failure; // nullptr: accepted
        int period;
    } cases[] = {
        {"00000000120", nullptr, 120},
        {"0000000000", nullptr, 0},
        {"99999999999999999999", "Value of Group Interval must between 120~1225\n ", 0},
        {"1225", nullptr, 1225},
        {"1226", "Value of Group Interval must between 120~1225\n ", 0},
        {"120\n", "Group Interval only includes 0-9", 0},
        {"+120", "Group Interval only includes 0-9", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const GroupIntervalResult r = ReadGroupInterval(c.text);
        if (c.failure) {
            ASSERT_TRUE(r.failure);
            EXPECT_EQ(r.failure->text, c.failure);
            EXPECT_FALSE(r.choice);
        } else {
            ASSERT_TRUE(r.choice);
            EXPECT_FALSE(r.failure);
            EXPECT_EQ(r.choice->period, c.period);
            EXPECT_EQ(r.choice->stored_text, c.text);
            EXPECT_EQ(r.choice->flag, c.period ? '1' : '0');
        }
    }
}

TEST(GroupIntervalInput, ApplyRewritesTheFileThenTheSettingsInMemory) {
    TempDir dir;
    const std::filesystem::path file = dir / "define.ecf";
    const auto body = [](char flag, std::string_view timer) {
        return Body("4B455354", "1392", "239.255.255.250", flag, timer);
    };
    WriteBytes(file, StoredFile(body('0', "0")));
    FakeNotifier notifier;
    ProtocolSettings settings;
    EXPECT_TRUE(ApplyKeepAliveChoice({"0300", '1', 300}, file, settings, notifier));
    EXPECT_EQ(ReadBytes(file), StoredFile(body('1', "0300")));
    EXPECT_EQ(settings.multicast_timer_flag, 1);
    EXPECT_EQ(settings.multicast_timer, 300);
    EXPECT_TRUE(notifier.shown.empty());

    // A file that cannot be rewritten: said so, memory changed all the same.
    EXPECT_FALSE(ApplyKeepAliveChoice({"0", '0', 0}, dir / "missing.ecf", settings, notifier));
    EXPECT_EQ(notifier.Texts(), std::vector<std::string>{"open file fail"});
    EXPECT_EQ(settings.multicast_timer_flag, 0);
    EXPECT_EQ(settings.multicast_timer, 0);
}
