// The keep-alive on the wire: IGMP membership reports captured on the far end
// of the simulated LAN's veth pair.

#include "core/KeepAlive.h"
#include "protocol/SettingsDefaults.h"
#include "protocol/SettingsFile.h"
#include "support/FakeNotifier.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <vector>

using namespace kestrel;

namespace {

// The workstation side and its peer, as scripts/lan sets them up.
constexpr const char* kWorkstationLink = "kws0";
constexpr const char* kPeerLink = "kag0";

bool InsideSimulatedLan() {
    return if_nametoindex(kWorkstationLink) != 0 && if_nametoindex(kPeerLink) != 0;
}

struct Report {
    qint64 at_ms;
    std::vector<uint8_t> igmp;
};

// Every IPv4 IGMP packet that arrives on the peer end of the veth pair.
class WireCapture {
public:
    WireCapture() {
        fd_ = ::socket(AF_PACKET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, htons(ETH_P_IP));
        if (fd_ < 0)
            return;
        sockaddr_ll at{};
        at.sll_family = AF_PACKET;
        at.sll_protocol = htons(ETH_P_IP);
        at.sll_ifindex = static_cast<int>(if_nametoindex(kPeerLink));
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~WireCapture() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    WireCapture(const WireCapture&) = delete;
    WireCapture& operator=(const WireCapture&) = delete;

    bool open() const { return fd_ >= 0; }

    // Runs the event loop for the given time, collecting IGMP packets sent
    // to group.
    std::vector<Report> Collect(int ms, uint32_t group, const QElapsedTimer& clock) {
        std::vector<Report> reports;
        QElapsedTimer window;
        window.start();
        while (window.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            std::array<uint8_t, 1600> frame;
            for (;;) {
                const ssize_t n = ::recv(fd_, frame.data(), frame.size(), 0);
                if (n <= 0)
                    break;
                Parse(std::span(frame.data(), static_cast<std::size_t>(n)), group, clock, reports);
            }
            ::usleep(5000);
        }
        return reports;
    }

private:
    static void Parse(std::span<const uint8_t> ip, uint32_t group, const QElapsedTimer& clock,
                      std::vector<Report>& out) {
        if (ip.size() < 20 || (ip[0] >> 4) != 4)
            return;
        const std::size_t header = static_cast<std::size_t>(ip[0] & 0x0F) * 4;
        if (header < 20 || ip.size() < header || ip[9] != IPPROTO_IGMP)
            return;
        const uint32_t dst = (uint32_t{ip[16]} << 24) | (uint32_t{ip[17]} << 16) |
                             (uint32_t{ip[18]} << 8) | uint32_t{ip[19]};
        if (dst != group)
            return;
        out.push_back(
            {clock.elapsed(), {ip.begin() + static_cast<std::ptrdiff_t>(header), ip.end()}});
    }

    int fd_ = -1;
};

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
