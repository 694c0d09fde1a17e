#include "protocol/upgrade/Rediscovery.h"

#include "RecordingSender.h"
#include "protocol/words/OutcomeWords.h"
#include "support/CoreState.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using namespace kestrel;

namespace {

using Outcome = Rediscovery::Outcome;

// CMD_DISCOVERY for utility identifier 0x0000002A, from the header layout.
const std::vector<uint8_t> kRequest = {0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                       0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2A,
                                       0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                       0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

// The upgraded agent, and another one on the LAN.
constexpr const char* kTarget = "00aabbccddee";
constexpr const char* kOther = "00aabbcc0001";

// The words the window shows for an outcome.
std::string Words(Outcome outcome) {
    return std::string(RediscoveryMessage(outcome).text);
}

struct Rig {
    CoreState state;
    std::vector<std::string> log;
    RecordingSender sender{state.tables, log};
    RecordingLists lists{state.tables, log};
    Rediscovery run{state.settings, state.tables.discovery, sender, lists};

    Rig() {
        state.settings.utility_id = 0x2A;
        state.settings.base_port = 0xFFFE; // agent port wraps to 0
        state.settings.multicast_group = "239.1.2.3";
    }

    // A discovery reply between two ticks: the dispatcher reports it, then
    // stores it.
    void StoreReply(const char* mac) {
        run.NoteDiscoveryReply(mac);
        DeviceRecord r = ZeroRecord();
        SetFieldText(r.mac_text, mac);
        r.row_state = kRowKnown;
        state.tables.discovery.Append(r);
    }
};

TEST(Rediscovery, AnswerInPassFiveEndsAfterPassFiveWithSuccess) {
    Rig t;
    t.StoreReply(kTarget); // before the run: not counted
    EXPECT_EQ(t.run.Start(kTarget), 12000);
    t.StoreReply(kTarget);              // during the reboot wait: the first pass clears it
    EXPECT_TRUE(t.sender.sent.empty()); // nothing during the reboot wait

    for (int pass = 1; pass <= 5; ++pass) {
        SCOPED_TRACE(pass);
        EXPECT_EQ(t.run.Tick(), 1000);
        EXPECT_EQ(t.run.passes(), pass);
        // Every pass starts from an empty list and table; the run goes on.
        EXPECT_EQ(t.lists.clears, pass);
        EXPECT_EQ(t.state.tables.discovery.count(), 0);
        ASSERT_EQ(t.sender.sent.size(), static_cast<std::size_t>(2 * pass));
        EXPECT_EQ(t.run.outcome(), Outcome::Running);
        t.StoreReply(kOther); // another agent answers every pass
        if (pass == 5)
            t.StoreReply(kTarget);
    }
    EXPECT_EQ(t.run.Tick(), -1);
    EXPECT_EQ(t.run.outcome(), Outcome::Succeeded);
    EXPECT_EQ(t.run.passes(), 5);
    EXPECT_EQ(t.sender.sent.size(), 10u);
    EXPECT_EQ(RediscoveryMessage(t.run.outcome()),
              (Message{"Upgrade successful", "information", MessageIcon::Information}));
    EXPECT_EQ(t.log.front(), "enable broadcast");
    EXPECT_EQ(std::count(t.log.begin(), t.log.end(), "enable broadcast"), 1);

    // Ended: further ticks do nothing.
    EXPECT_EQ(t.run.Tick(), -1);
    EXPECT_EQ(t.sender.sent.size(), 10u);
    EXPECT_EQ(t.run.outcome(), Outcome::Succeeded);
}

TEST(Rediscovery, EveryPassSendsTheRequestByBroadcastThenMulticast) {
    Rig t;
    t.run.Start(kTarget);
    t.run.Tick();
    t.run.Tick();
    EXPECT_EQ(t.sender.sent,
              (std::vector<SentDatagram>{{SocketKind::Broadcast, kRequest, 0xFFFFFFFF, 0, 0},
                                         {SocketKind::Multicast, kRequest, 0xEF010203, 0, 0},
                                         {SocketKind::Broadcast, kRequest, 0xFFFFFFFF, 0, 0},
                                         {SocketKind::Multicast, kRequest, 0xEF010203, 0, 0}}));
    EXPECT_EQ(t.log, (std::vector<std::string>{"enable broadcast", "clear rows", "send broadcast",
                                               "send multicast", "clear rows", "send broadcast",
                                               "send multicast"}));
}

// Ticks a run to its end; returns the milliseconds it took.
int RunToEnd(Rediscovery& run, int limit = 1000) {
    int elapsed = run.Start(kTarget);
    for (int i = 0; i < limit; ++i) {
        const int next = run.Tick();
        if (next < 0)
            return elapsed;
        elapsed += next;
    }
    ADD_FAILURE() << "run did not end";
    return elapsed;
}

TEST(Rediscovery, WithoutAnAnswerEndsAfterPass110WithFail) {
    Rig t;
    EXPECT_EQ(RunToEnd(t.run), 12000 + 110 * 1000);
    EXPECT_EQ(t.run.passes(), 110);
    EXPECT_EQ(t.run.outcome(), Outcome::Failed);
    EXPECT_EQ(t.sender.sent.size(), 220u);
    EXPECT_EQ(RediscoveryMessage(t.run.outcome()),
              (Message{"Upgrade fail", "information", MessageIcon::Warning}));

    // A reply after the end changes nothing.
    t.StoreReply(kTarget);
    EXPECT_EQ(t.run.Tick(), -1);
    EXPECT_EQ(t.run.outcome(), Outcome::Failed);
}

TEST(Rediscovery, AnswerToTheLastPassStillCounts) {
    Rig t;
    t.run.Start(kTarget);
    for (int pass = 1; pass <= 110; ++pass)
        ASSERT_EQ(t.run.Tick(), 1000);
    t.StoreReply(kTarget);
    EXPECT_EQ(t.run.Tick(), -1);
    EXPECT_EQ(t.run.outcome(), Outcome::Succeeded);
    EXPECT_EQ(Words(t.run.outcome()), "Upgrade successful");
}

TEST(Rediscovery, FailedSendEndsTheRunWithoutVerdict) {
    struct Case {
        const char* name;
        std::size_t failing_send; // 0-based over the run
        int passes;
        std::size_t attempts;
    };
    const Case cases[] = {
        {"broadcast of pass 3: no multicast copy", 4, 3, 5},
        {"multicast of pass 3", 5, 3, 6},
        {"broadcast of pass 1", 0, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig t;
        t.sender.fail_number = c.failing_send;
        RunToEnd(t.run);
        EXPECT_EQ(t.run.outcome(), Outcome::SendFailed);
        EXPECT_EQ(t.run.passes(), c.passes);
        EXPECT_EQ(t.sender.sent.size(), c.attempts);
        EXPECT_EQ(RediscoveryMessage(t.run.outcome()),
                  (Message{"Discovery sento fail", "Error", MessageIcon::Error}));

        // The next run starts afresh and again allows 110 passes.
        t.sender.fail_number.reset();
        t.sender.sent.clear();
        EXPECT_EQ(RunToEnd(t.run), 12000 + 110 * 1000);
        EXPECT_EQ(t.run.passes(), 110);
        EXPECT_EQ(t.sender.sent.size(), 220u);
        EXPECT_EQ(t.run.outcome(), Outcome::Failed);
        EXPECT_EQ(Words(t.run.outcome()), "Upgrade fail");
    }
}

TEST(Rediscovery, RefusedBroadcastEndsBeforeAnyPass) {
    Rig t;
    t.sender.broadcast_allowed = false;
    t.state.tables.discovery.Append(ZeroRecord());
    EXPECT_EQ(t.run.Start(kTarget), 12000);
    EXPECT_EQ(t.run.Tick(), -1);
    EXPECT_EQ(t.run.outcome(), Outcome::BroadcastRefused);
    EXPECT_EQ(t.run.passes(), 0);
    EXPECT_TRUE(t.sender.sent.empty());
    EXPECT_EQ(t.lists.clears, 0);
    EXPECT_EQ(t.state.tables.discovery.count(), 1); // the list is left as it was
    EXPECT_EQ(RediscoveryMessage(t.run.outcome()),
              (Message{"Set socketopt error", "Error", MessageIcon::Error}));
}

TEST(Rediscovery, InvalidGroupIsAFailedSend) {
    Rig t;
    t.state.settings.multicast_group.clear();
    RunToEnd(t.run);
    EXPECT_EQ(t.run.outcome(), Outcome::SendFailed);
    EXPECT_EQ(t.sender.sent.size(), 1u); // the broadcast copy only
    EXPECT_EQ(Words(t.run.outcome()), "Discovery sento fail");
}

TEST(Rediscovery, RestartDuringARunBeginsAgainWithTheRebootWait) {
    Rig t;
    t.run.Start(kTarget);
    for (int i = 0; i < 50; ++i)
        t.run.Tick();
    EXPECT_EQ(t.run.passes(), 50);
    EXPECT_EQ(RunToEnd(t.run), 12000 + 110 * 1000);
    EXPECT_EQ(t.run.passes(), 110);
    EXPECT_EQ(t.run.outcome(), Outcome::Failed);
}

TEST(Rediscovery, TickWithoutARunDoesNothing) {
    Rig t;
    EXPECT_EQ(t.run.Tick(), -1);
    EXPECT_EQ(t.run.outcome(), Outcome::None);
    EXPECT_TRUE(t.log.empty());
}

TEST(Rediscovery, OnlyTheTargetsReplyToAPassSentCounts) {
    enum class When { BeforeStart, DuringRebootWait, AfterFirstPass };
    struct Case {
        const char* name;
        const char* target;
        const char* reply_mac;
        When when;
        bool counts;
    };
    const Case cases[] = {
        {"the target, after the pass", kTarget, kTarget, When::AfterFirstPass, true},
        {"another agent", kTarget, kOther, When::AfterFirstPass, false},
        {"an empty MAC", kTarget, "", When::AfterFirstPass, false},
        {"the target, before the run", kTarget, kTarget, When::BeforeStart, false},
        {"the target, before the pass was sent", kTarget, kTarget, When::DuringRebootWait, false},
        {"no target, an empty MAC", "", "", When::AfterFirstPass, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig t;
        if (c.when == When::BeforeStart)
            t.StoreReply(c.reply_mac);
        t.run.Start(c.target);
        if (c.when == When::DuringRebootWait)
            t.StoreReply(c.reply_mac);
        ASSERT_EQ(t.run.Tick(), 1000);
        if (c.when == When::AfterFirstPass)
            t.StoreReply(c.reply_mac);
        EXPECT_EQ(t.run.Tick(), c.counts ? -1 : 1000);
        EXPECT_EQ(t.run.outcome(), c.counts ? Outcome::Succeeded : Outcome::Running);
        EXPECT_EQ(t.run.passes(), c.counts ? 1 : 2);
    }
}

} // namespace
