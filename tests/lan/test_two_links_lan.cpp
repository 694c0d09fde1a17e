// A workstation on two networks (scripts/lan --links 2): the real window
// finds the agents behind both links with one Discovery, reaches an agent
// behind the second link with a set request, and keeps its group membership
// on both. What goes out on each link is captured on its far end.

#include "LanWindowFixture.h"
#include "WireCapture.h"
#include "WithoutNetRaw.h"
#include "core/IgmpReportHelper.h"
#include "core/KeepAlive.h"

#include <QElapsedTimer>
#include <QNetworkInterface>
#include <QProcess>
#include <QPushButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace lan_window;
using namespace wire_capture;

namespace {

constexpr uint32_t kGroup = 0xEFFFFFFA; // 239.255.255.250
constexpr uint32_t kBroadcast = 0xFFFFFFFF;
constexpr uint16_t kAgentPort = 5012;

const std::string kAgents =
    "ip=198.18.1.1 mac=020000000001 iface=3 password=pw name=near link=kws0\n"
    "ip=198.51.100.129 mac=020000000002 iface=3 password=pw name=far link=kws1\n";

class TwoLinksTest : public LanWindowFixture {
protected:
    void SetUp() override {
        if (!InsideSimulatedLan() || if_nametoindex("kws1") == 0)
            GTEST_SKIP() << "runs only inside scripts/lan --links 2";
        LanWindowFixture::SetUp();
    }

    // The agent requests each link carried: destination address, counted.
    static std::map<uint32_t, int> Requests(std::vector<Packet> packets) {
        std::map<uint32_t, int> count;
        for (const Packet& p : packets)
            ++count[p.dst];
        return count;
    }
    static std::function<bool(const Packet&)> ToAgents() {
        return [](const Packet& p) { return p.protocol == 17 && p.DstPort() == kAgentPort; };
    }
    // Members of 239.255.255.250 on the card, from /proc/net/igmp.
    static int GroupUsers(const std::string& card) {
        std::ifstream in("/proc/net/igmp");
        std::string line;
        bool on_card = false;
        while (std::getline(in, line)) {
            std::istringstream words(line);
            std::string first, second;
            words >> first >> second;
            if (!line.empty() && line[0] != '\t') {
                on_card = second == card;
                continue;
            }
            int users = 0;
            if (on_card && first == "FAFFFFEF" && std::istringstream(second) >> users)
                return users;
        }
        return 0;
    }
    // The tests of one binary share the namespace: whatever a test took
    // down comes back up, with the default route that went with kws0.
    void TearDown() override {
        if (IsSkipped())
            return;
        LanWindowFixture::TearDown();
        for (const char* card : {"kws0", "kws1"}) {
            EXPECT_EQ(SetLink(card, "up"), 0);
            EXPECT_TRUE(Running(card));
        }
        EXPECT_EQ(Ip({"route", "replace", "default", "dev", "kws0", "src", "198.18.0.1"}), 0);
    }

    static int Ip(std::initializer_list<const char*> words) {
        QStringList args;
        for (const char* w : words)
            args << QString::fromLatin1(w);
        return QProcess::execute(QStringLiteral("ip"), args);
    }
    // "ip link set CARD up|down", inside the namespace.
    static int SetLink(const char* card, const char* state) {
        return Ip({"link", "set", card, state});
    }
    static bool Running(const char* card) {
        return QTest::qWaitFor([card] {
            return QNetworkInterface::interfaceFromName(QString::fromLatin1(card))
                .flags()
                .testFlag(QNetworkInterface::IsRunning);
        });
    }
    QTreeWidgetItem* RowOf(const char* ip) {
        for (int i = 0; i < discovery().topLevelItemCount(); ++i) {
            QTreeWidgetItem* row = discovery().topLevelItem(i);
            for (int c = 0; c < row->columnCount(); ++c)
                if (row->text(c) == QString::fromLatin1(ip))
                    return row;
        }
        return nullptr;
    }
};

TEST_F(TwoLinksTest, OneDiscoveryFindsTheAgentsBehindBothLinks) {
    WireCapture near_link(kPeerLink), far_link(kSecondPeerLink);
    ASSERT_TRUE(near_link.open() && far_link.open());
    StartSim(kAgents);
    QElapsedTimer clock;
    clock.start();

    Discover(2);

    // One broadcast and one group copy on each link, and no more.
    const std::map<uint32_t, int> expected = {{kBroadcast, 1}, {kGroup, 1}};
    EXPECT_EQ(Requests(near_link.CollectPackets(500, clock, ToAgents())), expected);
    EXPECT_EQ(Requests(far_link.CollectPackets(100, clock, ToAgents())), expected);
    // Each agent heard the two copies of its own link only.
    EXPECT_EQ(sim.Count("REPLY 198.18.1.1 DISCOVERY_REPLY"), 2);
    EXPECT_EQ(sim.Count("REPLY 198.51.100.129 DISCOVERY_REPLY"), 2);
    EXPECT_EQ(discovery().topLevelItemCount(), 2);

    QTreeWidgetItem* near_row = RowOf("198.18.1.1");
    QTreeWidgetItem* far_row = RowOf("198.51.100.129");
    ASSERT_TRUE(near_row && far_row);
    EXPECT_EQ(near_row->toolTip(0).toStdString(), "Heard on kws0 (198.18.0.1/15)");
    EXPECT_EQ(far_row->toolTip(0).toStdString(), "Heard on kws1 (198.51.100.1/24)");
    EXPECT_EQ(Find<QPushButton>("ctl1001")->toolTip().toStdString(), "Sent on kws0, kws1");
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(TwoLinksTest, TheGroupIsJoinedAndRenewedOnEveryLink) {
    // The window joined at start-up; the system lists its memberships.
    for (const char* card : {"kws0", "kws1"})
        EXPECT_GE(GroupUsers(card), 1) << card;

    WireCapture far_link(kSecondPeerLink);
    ASSERT_TRUE(far_link.open());
    StartSim(kAgents);
    QElapsedTimer clock;
    clock.start();
    Press("ctl1001"); // the re-join comes first
    // The window is the only member on the second link: its leave and its
    // join both show there. (On the first, the simulator's own membership
    // keeps the system's state as it was.)
    const auto igmp = [](const Packet& p) { return p.protocol == 2; };
    EXPECT_GE(far_link.CollectPackets(1500, clock, igmp).size(), 2u);
    for (const char* card : {"kws0", "kws1"})
        EXPECT_GE(GroupUsers(card), 1) << card;
}

TEST_F(TwoLinksTest, ALinkThatGoesAndComesBackIsFollowed) {
    WireCapture near_link(kPeerLink), far_link(kSecondPeerLink);
    ASSERT_TRUE(near_link.open() && far_link.open());
    StartSim(kAgents);
    QElapsedTimer clock;
    clock.start();
    const std::map<uint32_t, int> both = {{kBroadcast, 1}, {kGroup, 1}};

    ASSERT_EQ(SetLink("kws1", "down"), 0);
    Discover(1);
    EXPECT_EQ(Requests(near_link.CollectPackets(500, clock, ToAgents())), both);
    EXPECT_TRUE(far_link.CollectPackets(100, clock, ToAgents()).empty());
    EXPECT_EQ(discovery().topLevelItemCount(), 1);
    EXPECT_EQ(Find<QPushButton>("ctl1001")->toolTip().toStdString(), "Sent on kws0");

    ASSERT_EQ(SetLink("kws1", "up"), 0);
    ASSERT_TRUE(Running("kws1"));
    Discover(2);
    EXPECT_EQ(Requests(near_link.CollectPackets(500, clock, ToAgents())), both);
    EXPECT_EQ(Requests(far_link.CollectPackets(100, clock, ToAgents())), both);
    EXPECT_EQ(Find<QPushButton>("ctl1001")->toolTip().toStdString(), "Sent on kws0, kws1");
    EXPECT_GE(GroupUsers("kws1"), 1);
}

TEST_F(TwoLinksTest, ADiscoveryThatCannotLeaveIsSaidSoNotSilent) {
    StartSim(kAgents);
    for (const char* card : {"kws0", "kws1"})
        ASSERT_EQ(SetLink(card, "down"), 0);
    Press("ctl1001");
    ASSERT_TRUE(WaitForMessage({"Discovery sento fail", "Error", kestrel::MessageIcon::Error}));
    EXPECT_EQ(discovery().topLevelItemCount(), 0);
    EXPECT_EQ(sim.Count("RX DISCOVERY"), 0);
}

TEST_F(TwoLinksTest, ASetRequestReachesTheAgentBehindTheSecondLink) {
    StartSim(kAgents);
    Discover(2);
    QTreeWidgetItem* far_row = RowOf("198.51.100.129");
    ASSERT_NE(far_row, nullptr);
    discovery().clearSelection();
    SelectRow(discovery(), discovery().indexOfTopLevelItem(far_row));

    Configure({.password = "pw", .system_name = "renamed"});

    ASSERT_TRUE(WaitForMessage(kSetSuccessful));
    EXPECT_EQ(sim.Count("SET 198.51.100.129 kind=config status=0"), 1);
    EXPECT_EQ(sim.Count("SET 198.18.1.1"), 0);
}

TEST_F(TwoLinksTest, TheKeepAliveReportGoesOutOnEveryLink) {
    WireCapture near_link(kPeerLink), far_link(kSecondPeerLink);
    ASSERT_TRUE(near_link.open() && far_link.open());
    kestrel::ProtocolSettings settings = window->settings();
    settings.multicast_timer_flag = 1;
    settings.multicast_timer = 1;
    kestrel::KeepAlive keep_alive(settings, notifier, QString());
    QElapsedTimer clock;
    clock.start();
    keep_alive.Start();
    ASSERT_TRUE(keep_alive.socketOpen());
    const std::vector<uint8_t> report = {0x12, 0x00, 0xFE, 0x04, 0xEF, 0xFF, 0xFF, 0xFA};
    const std::vector<Report> near_reports = near_link.Collect(2500, kGroup, clock);
    const std::vector<Report> far_reports = far_link.Collect(100, kGroup, clock);
    ASSERT_GE(near_reports.size(), 2u);
    EXPECT_EQ(far_reports.size(), near_reports.size());
    for (const auto* reports : {&near_reports, &far_reports})
        for (const Report& r : *reports)
            EXPECT_EQ(r.igmp, report);
}

// Without CAP_NET_RAW of its own the program runs the helper on each link
// every period: each report leaves its own link, from that link's address,
// one hop only.
TEST_F(TwoLinksTest, TheHelpersReportsGoOutOnEveryLinkFromItsAddress) {
    WireCapture near_link(kPeerLink), far_link(kSecondPeerLink);
    ASSERT_TRUE(near_link.open() && far_link.open());
    WithoutNetRaw unprivileged;
    ASSERT_TRUE(unprivileged.dropped());
    kestrel::ProtocolSettings settings = window->settings();
    settings.multicast_timer_flag = 1;
    settings.multicast_timer = 1;
    kestrel::KeepAlive keep_alive(
        settings, notifier, kestrel::IgmpReportHelperPath(QCoreApplication::applicationDirPath()));
    QElapsedTimer clock;
    clock.start();
    keep_alive.Start();
    ASSERT_FALSE(keep_alive.socketOpen());
    const auto reports = [](const Packet& p) { return p.protocol == 2 && p.dst == kGroup; };
    const std::vector<Packet> near_reports = near_link.CollectPackets(2500, clock, reports);
    const std::vector<Packet> far_reports = far_link.CollectPackets(300, clock, reports);
    ASSERT_GE(near_reports.size(), 2u);
    EXPECT_GE(far_reports.size(), near_reports.size() - 1);
    EXPECT_LE(far_reports.size(), near_reports.size() + 1);
    const std::vector<uint8_t> report = {0x12, 0x00, 0xFE, 0x04, 0xEF, 0xFF, 0xFF, 0xFA};
    const struct {
        const std::vector<Packet>& packets;
        std::vector<uint8_t> source;
    } links[] = {{near_reports, {198, 18, 0, 1}}, {far_reports, {198, 51, 100, 1}}};
    for (const auto& link : links)
        for (const Packet& p : link.packets) {
            ASSERT_EQ(p.header.size(), 20u);
            EXPECT_EQ(p.header[8], 1) << "TTL";
            EXPECT_EQ(std::vector<uint8_t>(p.header.begin() + 12, p.header.begin() + 16),
                      link.source);
            EXPECT_EQ(p.payload, report);
        }
    EXPECT_TRUE(notifier.shown.empty());
}

} // namespace
