// The keep-alive on the wire: IGMP membership reports captured on the far end
// of the simulated LAN's veth pair.

#include "NoRootPrivilegeOnExec.h"
#include "WireCapture.h"
#include "WithoutNetRaw.h"
#include "core/IgmpReportHelper.h"
#include "core/KeepAlive.h"
#include "core/RawIgmpSocket.h"
#include "core/SocketMessages.h"
#include "protocol/settings/SettingsDefaults.h"
#include "protocol/settings/SettingsFile.h"
#include "support/FakeNotifier.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
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

// The helper sends them; this process never holds a raw socket.
TEST_F(UnprivilegedKeepAlive, TheHelperSendsTheReports) {
    const std::vector<uint8_t> kReport = {0x12, 0x00, 0xFE, 0x04, 0xEF, 0xFF, 0xFF, 0xFA};
    const QString helper = IgmpReportHelperPath(QCoreApplication::applicationDirPath());
    settings_.multicast_timer_flag = 1;
    KeepAlive keep_alive(settings_, notifier_, helper);
    keep_alive.Start();
    const std::vector<Report> reports = wire_.Collect(3500, kGroup, clock_, 2);
    ASSERT_EQ(reports.size(), 2u) << "from " << helper.toStdString();
    for (const Report& r : reports)
        EXPECT_EQ(r.igmp, kReport);
    EXPECT_NEAR(reports[1].at_ms - reports[0].at_ms, 1000, 400);
    EXPECT_FALSE(keep_alive.socketOpen());
    wire_.Collect(300, kGroup, clock_); // the runs' ends arrive
    EXPECT_GE(keep_alive.reportsSent(), 2);
    EXPECT_TRUE(notifier_.shown.empty());
}

// What the keep-alive asks of the helper and how it takes the answer, with a
// stand-in helper that writes down its arguments and ends as told: "--check"
// once, then the group and each card every period; a report not sent is
// tried again the next period, one that may not be sent is said once and
// not tried again.
TEST_F(UnprivilegedKeepAlive, RunsTheHelperEachPeriodOnEachCardAndTakesItsWord) {
    const struct {
        const char* what;
        int exit_code;
        std::vector<std::string> runs;
        int sent;
        std::size_t boxes;
    } cases[] = {
        {"sent",
         0,
         {"--check", "239.255.255.250 kws0", "239.255.255.250 kws0", "239.255.255.250 kws0"},
         3,
         0},
        {"not sent",
         1,
         {"--check", "239.255.255.250 kws0", "239.255.255.250 kws0", "239.255.255.250 kws0"},
         0,
         0},
        {"no raw socket", 3, {"--check", "239.255.255.250 kws0"}, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString log = dir.filePath(QStringLiteral("runs"));
        const QString helper = dir.filePath(QStringLiteral("helper"));
        QFile script(helper);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\necho \"$*\" >>'%1'\n"
                                    "[ \"$1\" = --check ] && exit 0\nexit %2\n")
                         .arg(log)
                         .arg(c.exit_code)
                         .toUtf8());
        script.close();
        ASSERT_TRUE(script.setPermissions(QFile::ReadOwner | QFile::ExeOwner));

        FakeNotifier notifier;
        settings_.multicast_timer_flag = 1;
        KeepAlive keep_alive(settings_, notifier, helper);
        keep_alive.Start();
        // Steps come by hand, faster than the timer's second, and the
        // helper's answers while the event loop runs.
        wire_.Collect(500, kGroup, clock_);
        for (int i = 0; i < 3; ++i) {
            keep_alive.Step();
            wire_.Collect(300, kGroup, clock_);
        }
        QFile written(log);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        std::vector<std::string> runs;
        for (const QByteArray& line : written.readAll().split('\n'))
            if (!line.isEmpty())
                runs.push_back(line.toStdString());
        EXPECT_EQ(runs, c.runs);
        EXPECT_EQ(keep_alive.reportsSent(), c.sent);
        EXPECT_EQ(notifier.shown.size(), c.boxes);
    }
}

// Without a helper that can send: said once, when the keep-alive is switched
// on (here later, as the Group Interval dialog does), however many seconds
// pass; nothing goes out.
TEST_F(UnprivilegedKeepAlive, SaysOnceWhenNoReportCanBeSent) {
    const QString real = IgmpReportHelperPath(QCoreApplication::applicationDirPath());
    const struct {
        const char* what;
        QString helper;
    } cases[] = {
        {"no helper", QString()},
        {"helper missing", QStringLiteral("/nonexistent/kestrel-igmp-report")},
        {"helper that fails", QStringLiteral("/bin/false")},
        {"helper without its privilege", real},
    };
    // The helper then starts as an ordinary user's would: without CAP_NET_RAW.
    NoRootPrivilegeOnExec no_root;
    ASSERT_TRUE(no_root.set());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeNotifier notifier;
        settings_.multicast_timer_flag = 0;
        KeepAlive keep_alive(settings_, notifier, c.helper);
        keep_alive.Start();
        EXPECT_FALSE(keep_alive.socketOpen());
        for (int i = 0; i < 3; ++i)
            keep_alive.Step();
        EXPECT_TRUE(wire_.Collect(300, kGroup, clock_).empty());
        EXPECT_TRUE(notifier.shown.empty()) << "said while switched off";

        settings_.multicast_timer_flag = 1;
        for (int i = 0; i < 4; ++i)
            keep_alive.Step();
        // The helper's answer comes while the event loop runs.
        EXPECT_TRUE(wire_.Collect(1000, kGroup, clock_).empty());
        for (int i = 0; i < 4; ++i)
            keep_alive.Step();
        EXPECT_TRUE(wire_.Collect(500, kGroup, clock_).empty());
        ASSERT_EQ(notifier.shown.size(), 1u);
        EXPECT_TRUE(notifier.shown[0].text.starts_with(kKeepAliveNoRawSocket.text));
        EXPECT_EQ(notifier.shown[0].caption, kKeepAliveNoRawSocket.caption);
        EXPECT_EQ(notifier.shown[0].icon, MessageIcon::Warning);
        EXPECT_EQ(notifier.shown[0].text.find("setcap") != std::string::npos, !c.helper.isEmpty());
        EXPECT_EQ(keep_alive.reportsSent(), 0);
    }
}

} // namespace
