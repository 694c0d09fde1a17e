#include "protocol/polling/PollAccounting.h"

#include <gtest/gtest.h>

#include <limits>

using namespace kestrel;

namespace {

DeviceRecord WithBookkeeping(int reply_flag, int missed_polls) {
    DeviceRecord r = ZeroRecord();
    r.reply_flag = reply_flag;
    r.missed_polls = missed_polls;
    r.row_state = kRowKnown;
    r.status_image = kImageNotAlive;
    return r;
}

TEST(AccountPoll, ClearsAfterAReplyOtherwiseCountsAMiss) {
    constexpr int kMax = std::numeric_limits<int32_t>::max();
    struct Case {
        int reply_flag, missed, want_flag, want_missed;
    };
    const Case cases[] = {
        {1, 0, 0, 0},       // answered: cleared
        {1, 7, 0, 0},       // answered after misses: cleared
        {0, 0, 0, 1},       // silent: one miss
        {0, 2, 0, 3},       // reaches the not-alive threshold
        {0, 41, 0, 42},     // keeps growing while silent
        {2, 5, 2, 6},       // only a flag of exactly 1 counts as a reply
        {0, kMax, 0, kMax}, // stops at the top instead of wrapping to negative
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.reply_flag << "/" << c.missed);
        DeviceRecord r = WithBookkeeping(c.reply_flag, c.missed);
        AccountPoll(r);
        EXPECT_EQ(r.reply_flag, c.want_flag);
        EXPECT_EQ(r.missed_polls, c.want_missed);
        // The other alive fields belong to the alive check and the replies.
        EXPECT_EQ(r.row_state, kRowKnown);
        EXPECT_EQ(r.status_image, kImageNotAlive);
    }
}

TEST(AccountPoll, PollAfterAReplyIsCountedOnlyByTheNextAccounting) {
    DeviceRecord r = WithBookkeeping(1, 0);
    AccountPoll(r); // the poll that follows the reply
    EXPECT_EQ(r.missed_polls, 0);
    AccountPoll(r);
    EXPECT_EQ(r.missed_polls, 1);
    AccountPoll(r);
    EXPECT_EQ(r.missed_polls, 2);
}

TEST(AccountAllPolls, AccountsRecordsInUseOnly) {
    struct Case {
        int count;
        int accounted; // records 0..accounted-1 change
    };
    // Appends past the table are refused, so 300 appends leave 256 in use.
    const Case cases[] = {{0, 0}, {1, 1}, {3, 3}, {256, 256}, {300, 256}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        DeviceTable table;
        for (int i = 0; i < c.count; ++i)
            table.Append(WithBookkeeping(i % 2, 5));
        for (int i = table.count(); i < kTableCapacity; ++i)
            table.records[static_cast<std::size_t>(i)] = WithBookkeeping(i % 2, 5);

        AccountAllPolls(table);

        for (int i = 0; i < kTableCapacity; ++i) {
            const DeviceRecord& r = table.records[static_cast<std::size_t>(i)];
            if (i < c.accounted) {
                ASSERT_EQ(r.reply_flag, 0) << i;
                ASSERT_EQ(r.missed_polls, i % 2 == 1 ? 0 : 6) << i;
            } else {
                ASSERT_EQ(r.reply_flag, i % 2) << i;
                ASSERT_EQ(r.missed_polls, 5) << i;
            }
        }
        EXPECT_EQ(table.count(), c.accounted);
    }
}

} // namespace
