// The keep-alive on the wire: IGMP membership reports captured on the far end
// of the simulated LAN's veth pair.

#include "WireCapture.h"
#include "core/KeepAlive.h"
#include "protocol/SettingsDefaults.h"
#include "protocol/SettingsFile.h"
#include "support/FakeNotifier.h"

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
    KeepAlive keep_alive(settings);
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
}

} // namespace
