// The keep-alive on the wire: IGMP membership reports captured on the far end
// of the simulated LAN's veth pair.

#include "WireCapture.h"
#include "WithoutNetRaw.h"
#include "core/KeepAlive.h"
#include "core/RawIgmpSocket.h"
#include "core/SocketMessages.h"
#include "protocol/settings/SettingsDefaults.h"
#include "protocol/settings/SettingsFile.h"
#include "support/FakeNotifier.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using namespace kestrel;
using namespace wire_capture;

namespace {

TEST(KeepAliveOnTheWire, ReportsEveryPeriodAndNoneWhileSwitchedOff) {
    if (!InsideSimulatedLan())
        GTEST_SKIP() << "runs only inside scripts/lan";
    constexpr uint32_t kGroup = 0xEFFFFFFA;
    const std::vector<uint8_t> kReport = {0x12, 0x00, 0xFE, 0x04, 0xEF, 0xFF, 0xFF, 0xFA};

    WireCapture wire;
    ASSERT_TRUE(wire.open()) << "no packet capture on " << kPeerLink;

    // The switch and a short period come from define.ecf, as at start-up.
    QTemporaryDir cfg;
    ASSERT_TRUE(cfg.isValid());
    const std::filesystem::path ecf = cfg.filePath(QStringLiteral("define.ecf")).toStdString();
    ProtocolSettings written = DefaultSettings();
    written.multicast_timer_flag = 1;
    written.multicast_timer = 2;
    ASSERT_TRUE(CreateSettingsFile(ecf, written));
    FakeNotifier notifier;
    ProtocolSettings settings;
    ASSERT_TRUE(LoadSettingsFile(ecf, notifier, settings));
    ASSERT_EQ(settings.multicast_group, "239.255.255.250");
    KeepAlive keep_alive(settings, notifier, QString());
    QElapsedTimer clock;
    clock.start();
    keep_alive.Start();
    ASSERT_TRUE(keep_alive.socketOpen());

    // Switched on, period 2 s: reports near 2 s and 4 s.
    const std::vector<Report> on = wire.Collect(5000, kGroup, clock);
    ASSERT_EQ(on.size(), 2u);
    for (const Report& r : on)
        EXPECT_EQ(r.igmp, kReport);
    EXPECT_NEAR(on[0].at_ms, 2000, 400);
    EXPECT_NEAR(on[1].at_ms - on[0].at_ms, 2000, 400);
    EXPECT_EQ(keep_alive.reportsSent(), 2);

    // Switched off: nothing, however many seconds pass.
    settings.multicast_timer_flag = 0;
    EXPECT_TRUE(wire.Collect(3500, kGroup, clock).empty());
    EXPECT_EQ(keep_alive.reportsSent(), 2);
    EXPECT_TRUE(notifier.shown.empty());
}

// A program without CAP_NET_RAW, as an ordinary user runs it.
class UnprivilegedKeepAlive : public ::testing::Test {
protected:
    static constexpr uint32_t kGroup = 0xEFFFFFFA;

    void SetUp() override {
        if (!InsideSimulatedLan())
            GTEST_SKIP() << "runs only inside scripts/lan";
        ASSERT_TRUE(wire_.open()) << "no packet capture on " << kPeerLink;
        ASSERT_TRUE(unprivileged_.dropped()) << "CAP_NET_RAW could not be dropped";
        ASSERT_LT(OpenRawIgmpSocket(), 0) << "a raw socket opened without CAP_NET_RAW";
        settings_ = DefaultSettings();
        settings_.multicast_timer = 1;
        clock_.start();
    }

    WireCapture wire_;
    WithoutNetRaw unprivileged_;
    ProtocolSettings settings_;
    FakeNotifier notifier_;
    QElapsedTimer clock_;
};

TEST_F(UnprivilegedKeepAlive, TheHelpersSocketCarriesTheReports) {
    const QString helper = RawIgmpHelperPath(QCoreApplication::applicationDirPath());
    settings_.multicast_timer_flag = 1;
    KeepAlive keep_alive(settings_, notifier_, helper);
    keep_alive.Start();
    EXPECT_TRUE(keep_alive.socketOpen()) << "no socket from " << helper.toStdString();
    EXPECT_GE(wire_.Collect(3500, kGroup, clock_, 2).size(), 2u);
    EXPECT_TRUE(notifier_.shown.empty());
}

// Without a helper that can open the socket: said once, when the keep-alive
// is switched on (here later, as the Group Interval dialog does), however
// many seconds pass; nothing goes out.
TEST_F(UnprivilegedKeepAlive, SaysOnceWhenNoSocketCanBeHad) {
    const struct {
        const char* what;
        QString helper;
    } cases[] = {
        {"no helper", QString()},
        {"helper missing", QStringLiteral("/nonexistent/kestrel-igmp-socket")},
        {"helper that fails", QStringLiteral("/bin/false")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeNotifier notifier;
        settings_.multicast_timer_flag = 0;
        KeepAlive keep_alive(settings_, notifier, c.helper);
        keep_alive.Start();
        EXPECT_FALSE(keep_alive.socketOpen());
        for (int i = 0; i < 3; ++i)
            keep_alive.Step();
        EXPECT_TRUE(notifier.shown.empty()) << "said while switched off";

        settings_.multicast_timer_flag = 1;
        for (int i = 0; i < 4; ++i)
            keep_alive.Step();
        ASSERT_EQ(notifier.shown.size(), 1u);
        EXPECT_TRUE(notifier.shown[0].text.starts_with(kKeepAliveNoRawSocket.text));
        EXPECT_EQ(notifier.shown[0].caption, kKeepAliveNoRawSocket.caption);
        EXPECT_EQ(notifier.shown[0].icon, MessageIcon::Warning);
        EXPECT_EQ(notifier.shown[0].text.find("setcap") != std::string::npos, !c.helper.isEmpty());
        EXPECT_EQ(keep_alive.reportsSent(), 0);
        EXPECT_TRUE(wire_.Collect(1500, kGroup, clock_).empty());
    }
}

} // namespace
