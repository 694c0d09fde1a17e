#include "upgrade/RediscoveryTimer.h"

#include "RecordingSender.h"
#include "support/FakeNotifier.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kestrel;

namespace {

struct Rig {
    ProgramState state;
    std::vector<std::string> log;
    RecordingSender sender{state, log};
    RecordingLists lists{state, log};
    FakeNotifier notifier;
    RediscoveryTimer driver{state, sender, lists, notifier};
    QTimer* timer = driver.findChild<QTimer*>(QStringLiteral("rediscoveryTimer"));

    Rig() { state.settings.multicast_group = "239.255.255.250"; }
};

TEST(RediscoveryTimer, ArmsTheRebootWaitThenOneSecondPerPass) {
    Rig t;
    ASSERT_NE(t.timer, nullptr);
    QSignalSpy finished(&t.driver, &RediscoveryTimer::Finished);
    EXPECT_FALSE(t.timer->isActive());

    t.driver.Start();
    EXPECT_TRUE(t.driver.running());
    EXPECT_TRUE(t.timer->isActive());
    EXPECT_EQ(t.timer->interval(), 12000);
    EXPECT_TRUE(t.sender.sent.empty());

    t.driver.Step();
    EXPECT_EQ(t.sender.sent.size(), 2u);
    EXPECT_TRUE(t.timer->isActive());
    EXPECT_EQ(t.timer->interval(), 1000);

    t.state.upgrade_rediscovered = 1;
    t.driver.Step();
    EXPECT_FALSE(t.timer->isActive());
    EXPECT_FALSE(t.driver.running());
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.at(0).at(0).value<Rediscovery::Outcome>(), Rediscovery::Outcome::Succeeded);
    EXPECT_EQ(t.notifier.Texts(), (std::vector<std::string>{"Upgrade successful"}));

    // A stray step after the end changes nothing.
    t.driver.Step();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(t.sender.sent.size(), 2u);
}

TEST(RediscoveryTimer, TimerRunsThePassesOnTheEventLoop) {
    Rig t;
    QSignalSpy finished(&t.driver, &RediscoveryTimer::Finished);
    t.driver.Start();
    // Cut the reboot wait short; the following passes keep their second.
    t.timer->start(1);
    QTRY_COMPARE_WITH_TIMEOUT(t.sender.sent.size(), std::size_t{2}, 2000);
    EXPECT_EQ(t.timer->interval(), 1000);
    t.sender.failing = {SocketKind::Multicast};
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 3000);
    EXPECT_EQ(t.driver.outcome(), Rediscovery::Outcome::SendFailed);
    EXPECT_EQ(t.notifier.Texts(), (std::vector<std::string>{"Discovery sento fail"}));
}

TEST(RediscoveryTimer, RefusedBroadcastFinishesAtTheFirstStep) {
    Rig t;
    QSignalSpy finished(&t.driver, &RediscoveryTimer::Finished);
    t.sender.broadcast_allowed = false;
    t.driver.Start();
    t.driver.Step();
    EXPECT_FALSE(t.timer->isActive());
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(t.driver.outcome(), Rediscovery::Outcome::BroadcastRefused);
}

} // namespace
