#include "protocol/upgrade/Rediscovery.h"

#include "RecordingSender.h"
#include "support/FakeNotifier.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace kestrel;

namespace {

using Outcome = Rediscovery::Outcome;

// CMD_DISCOVERY for utility identifier 0x0000002A, from the header layout.
const std::vector<uint8_t> kRequest = {0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                       0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2A,
                                       0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                       0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

struct Rig {
    ProgramState state;
    std::vector<std::string> log;
    RecordingSender sender{state, log};
    RecordingLists lists{state, log};
    FakeNotifier notifier;
    Rediscovery run{state, sender, lists, notifier};

    Rig() {
        state.settings.utility_id = 0x2A;
        state.settings.base_port = 0xFFFE; // agent port wraps to 0
        state.settings.multicast_group = "239.1.2.3";
    }

    // A reply stored by the dispatcher between two ticks.
    void StoreReply(bool from_upgraded_device) {
        DeviceRecord r = ZeroRecord();
        SetFieldText(r.mac_text, "00aabbccddee");
        r.row_state = kRowKnown;
        state.discovery.Append(r);
        if (from_upgraded_device)
            state.upgrade_rediscovered = 1;
    }
};

TEST(Rediscovery, AnswerInPassFiveEndsAfterPassFiveWithSuccess) {
    Rig t;
    t.state.upgrade_rediscovered = 1; // left over from before the upgrade
    EXPECT_EQ(t.run.Start(), 12000);
    EXPECT_TRUE(t.sender.sent.empty()); // nothing during the reboot wait

    for (int pass = 1; pass <= 5; ++pass) {
        SCOPED_TRACE(pass);
        EXPECT_EQ(t.run.Tick(), 1000);
        EXPECT_EQ(t.run.passes(), pass);
        // Every pass starts from an empty list and table and a cleared flag.
        EXPECT_EQ(t.lists.clears, pass);
        EXPECT_EQ(t.state.discovery.count(), 0);
        EXPECT_EQ(t.state.upgrade_rediscovered, 0);
        ASSERT_EQ(t.sender.sent.size(), static_cast<std::size_t>(2 * pass));
        EXPECT_TRUE(t.notifier.shown.empty());
        t.StoreReply(pass == 5); // another agent answers every pass
    }
    EXPECT_EQ(t.run.Tick(), -1);
    EXPECT_EQ(t.run.outcome(), Outcome::Succeeded);
    EXPECT_EQ(t.run.passes(), 5);
    EXPECT_EQ(t.sender.sent.size(), 10u);
    EXPECT_EQ(t.notifier.shown, (std::vector<ShownMessage>{{"Upgrade successful", "information",
                                                            MessageIcon::Information}}));
    EXPECT_EQ(t.log.front(), "enable broadcast");
    EXPECT_EQ(std::count(t.log.begin(), t.log.end(), "enable broadcast"), 1);

    // Ended: further ticks do nothing.
    EXPECT_EQ(t.run.Tick(), -1);
    EXPECT_EQ(t.sender.sent.size(), 10u);
    EXPECT_EQ(t.notifier.shown.size(), 1u);
}

TEST(Rediscovery, EveryPassSendsTheRequestByBroadcastThenMulticast) {
    Rig t;
    t.run.Start();
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
    int elapsed = run.Start();
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
    EXPECT_EQ(t.notifier.shown,
              (std::vector<ShownMessage>{{"Upgrade fail", "information", MessageIcon::Warning}}));
}

TEST(Rediscovery, AnswerToTheLastPassStillCounts) {
    Rig t;
    t.run.Start();
    for (int pass = 1; pass <= 110; ++pass)
        ASSERT_EQ(t.run.Tick(), 1000);
    t.StoreReply(true);
    EXPECT_EQ(t.run.Tick(), -1);
    EXPECT_EQ(t.run.outcome(), Outcome::Succeeded);
    EXPECT_EQ(t.notifier.Texts(), (std::vector<std::string>{"Upgrade successful"}));
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
        EXPECT_EQ(t.notifier.shown, (std::vector<ShownMessage>{
                                        {"Discovery sento fail", "Error", MessageIcon::Error}}));

        // The next run starts afresh and again allows 110 passes.
        t.sender.fail_number.reset();
        t.notifier.shown.clear();
        t.sender.sent.clear();
        EXPECT_EQ(RunToEnd(t.run), 12000 + 110 * 1000);
        EXPECT_EQ(t.run.passes(), 110);
        EXPECT_EQ(t.sender.sent.size(), 220u);
        EXPECT_EQ(t.notifier.Texts(), (std::vector<std::string>{"Upgrade fail"}));
    }
}

TEST(Rediscovery, RefusedBroadcastEndsBeforeAnyPass) {
    Rig t;
    t.sender.broadcast_allowed = false;
    t.state.discovery.Append(ZeroRecord());
    EXPECT_EQ(t.run.Start(), 12000);
    EXPECT_EQ(t.run.Tick(), -1);
    EXPECT_EQ(t.run.outcome(), Outcome::BroadcastRefused);
    EXPECT_EQ(t.run.passes(), 0);
    EXPECT_TRUE(t.sender.sent.empty());
    EXPECT_EQ(t.lists.clears, 0);
    EXPECT_EQ(t.state.discovery.count(), 1); // the list is left as it was
    EXPECT_EQ(t.notifier.shown,
              (std::vector<ShownMessage>{{"Set socketopt error", "Error", MessageIcon::Error}}));
}

TEST(Rediscovery, InvalidGroupIsAFailedSend) {
    Rig t;
    t.state.settings.multicast_group.clear();
    RunToEnd(t.run);
    EXPECT_EQ(t.run.outcome(), Outcome::SendFailed);
    EXPECT_EQ(t.sender.sent.size(), 1u); // the broadcast copy only
    EXPECT_EQ(t.notifier.Texts(), (std::vector<std::string>{"Discovery sento fail"}));
}

TEST(Rediscovery, RestartDuringARunBeginsAgainWithTheRebootWait) {
    Rig t;
    t.run.Start();
    for (int i = 0; i < 50; ++i)
        t.run.Tick();
    EXPECT_EQ(t.run.passes(), 50);
    EXPECT_EQ(RunToEnd(t.run), 12000 + 110 * 1000);
    EXPECT_EQ(t.run.passes(), 110);
    EXPECT_EQ(t.notifier.Texts(), (std::vector<std::string>{"Upgrade fail"}));
}

TEST(Rediscovery, TickWithoutARunDoesNothing) {
    Rig t;
    EXPECT_EQ(t.run.Tick(), -1);
    EXPECT_EQ(t.run.outcome(), Outcome::None);
    EXPECT_TRUE(t.log.empty());
    EXPECT_TRUE(t.notifier.shown.empty());
}

} // namespace
