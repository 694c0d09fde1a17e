#include "upgrade/RediscoveryTimer.h"

#include "RecordingSender.h"
#include "core/CoreEvents.h"
#include "support/CoreState.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kestrel;

namespace {

constexpr const char* kTarget = "00aabbccddee";

struct Rig {
    CoreState state;
    std::vector<std::string> log;
    RecordingSender sender{state.tables, log};
    RecordingLists lists{state.tables, log};
    // Where the dispatcher reports discovery replies.
    CoreEvents events;
    RediscoveryTimer driver{state.settings, state.tables.discovery, sender, lists, events};
    QTimer* timer = driver.findChild<QTimer*>(QStringLiteral("rediscoveryTimer"));

    Rig() { state.settings.multicast_group = "239.255.255.250"; }
};

TEST(RediscoveryTimer, ArmsTheRebootWaitThenOneSecondPerPass) {
    Rig t;
    ASSERT_NE(t.timer, nullptr);
    QSignalSpy finished(&t.driver, &RediscoveryTimer::Finished);
    EXPECT_FALSE(t.timer->isActive());

    t.driver.Start(kTarget);
    EXPECT_TRUE(t.driver.running());
    EXPECT_TRUE(t.timer->isActive());
    EXPECT_EQ(t.timer->interval(), 12000);
    EXPECT_TRUE(t.sender.sent.empty());

    t.driver.Step();
    EXPECT_EQ(t.sender.sent.size(), 2u);
    EXPECT_TRUE(t.timer->isActive());
    EXPECT_EQ(t.timer->interval(), 1000);

    // Another agent's reply does not end the run.
    t.events.OnDiscoveryReply("00aabbcc0001");
    t.driver.Step();
    EXPECT_TRUE(t.driver.running());
    EXPECT_EQ(t.sender.sent.size(), 4u);
    EXPECT_EQ(finished.count(), 0);

    t.events.OnDiscoveryReply(kTarget);
    t.driver.Step();
    EXPECT_FALSE(t.timer->isActive());
    EXPECT_FALSE(t.driver.running());
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.at(0).at(0).value<Rediscovery::Outcome>(), Rediscovery::Outcome::Succeeded);

    // A stray step after the end changes nothing.
    t.driver.Step();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(t.sender.sent.size(), 4u);
}

TEST(RediscoveryTimer, TimerRunsThePassesOnTheEventLoop) {
    Rig t;
    QSignalSpy finished(&t.driver, &RediscoveryTimer::Finished);
    t.driver.Start(kTarget);
    // Cut the reboot wait short; the following passes keep their second.
    t.timer->start(1);
    QTRY_COMPARE_WITH_TIMEOUT(t.sender.sent.size(), std::size_t{2}, 2000);
    EXPECT_EQ(t.timer->interval(), 1000);
    t.sender.failing = {SocketKind::Multicast};
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 3000);
    EXPECT_EQ(t.driver.outcome(), Rediscovery::Outcome::SendFailed);
    EXPECT_EQ(finished.at(0).at(0).value<Rediscovery::Outcome>(), Rediscovery::Outcome::SendFailed);
}

TEST(RediscoveryTimer, RefusedBroadcastFinishesAtTheFirstStep) {
    Rig t;
    QSignalSpy finished(&t.driver, &RediscoveryTimer::Finished);
    t.sender.broadcast_allowed = false;
    t.driver.Start(kTarget);
    t.driver.Step();
    EXPECT_FALSE(t.timer->isActive());
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(t.driver.outcome(), Rediscovery::Outcome::BroadcastRefused);
    EXPECT_EQ(finished.at(0).at(0).value<Rediscovery::Outcome>(),
              Rediscovery::Outcome::BroadcastRefused);
}

// The window's box for the outcome runs an event loop in which a new upgrade
// may start a new run; that run keeps its timer.
TEST(RediscoveryTimer, ARunStartedWhileTheOutcomeIsShownKeepsItsTimer) {
    Rig t;
    t.sender.broadcast_allowed = false;
    int finished = 0;
    QObject::connect(&t.driver, &RediscoveryTimer::Finished, [&] {
        if (++finished == 1) {
            t.sender.broadcast_allowed = true;
            t.driver.Start(kTarget);
        }
    });
    t.driver.Start(kTarget);
    t.driver.Step();
    EXPECT_EQ(finished, 1);
    EXPECT_TRUE(t.driver.running());
    EXPECT_TRUE(t.timer->isActive());
    EXPECT_EQ(t.timer->interval(), 12000);
    t.driver.Step();
    EXPECT_EQ(t.sender.sent.size(), 2u);
    EXPECT_EQ(finished, 1);
}

} // namespace
