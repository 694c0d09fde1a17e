// Discovery end to end: the real main window, its real sockets and the
// simulated agents, driven through the Discovery button. Runs inside
// scripts/lan (kestrel_add_lan_test does that).

#include "SimProcess.h"
#include "gui/WindowFixture.h"
#include "protocol/wire/Ipv4Text.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

using kestrel::test::SimProcess;

namespace {

using Texts = std::vector<std::string>;

// Discovery list columns.
constexpr int kDiscMac = 0;
constexpr int kDiscIp = 1;
constexpr int kDiscVersion = 2;
constexpr int kDiscProduct = 3;
// Monitor list columns.
constexpr int kMonIp = 1;
constexpr int kMonMac = 2;
constexpr int kMonProduct = 4;

constexpr const char* kReply = "DISCOVERY_REPLY";

// The addresses the simulator gives its first n generated agents.
std::set<std::string> GeneratedAddresses(int n) {
    std::set<std::string> out;
    for (int third = 1; static_cast<int>(out.size()) < n; ++third)
        for (int fourth = 1; fourth <= 254 && static_cast<int>(out.size()) < n; ++fourth)
            out.insert("198.18." + std::to_string(third) + '.' + std::to_string(fourth));
    return out;
}

class DiscoveryLanTest : public ShownWindowFixture {
protected:
    void StartSim(const std::string& agents, int count = 0, std::vector<std::string> args = {}) {
        ASSERT_TRUE(sim.Start({.agents = agents, .count = count, .args = std::move(args)}))
            << sim.Error();
    }

    QTreeWidget& discovery() { return window->discoveryList(); }
    QTreeWidget& monitor() { return window->monitorList(); }
    int DiscoveryRows() { return discovery().topLevelItemCount(); }

    void PressDiscovery() {
        QPushButton* button = Find<QPushButton>("ctl1001");
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
    }
    bool WaitForRows(int n, int timeout_ms = 5000) {
        return QTest::qWaitFor([&] { return DiscoveryRows() >= n; }, timeout_ms);
    }
    // Waits until the simulator has sent `n` replies of the kind in all.
    bool WaitForReplies(const std::string& kind, int n, int timeout_ms = 5000) {
        return QTest::qWaitFor([&] { return sim.Count(kind) >= n; }, timeout_ms);
    }
    // Lets whatever is still on its way arrive.
    static void Settle(int ms = 400) { QTest::qWait(ms); }

    static Texts Column(QTreeWidget& list, int column) {
        Texts texts;
        for (int row = 0; row < list.topLevelItemCount(); ++row)
            texts.push_back(list.topLevelItem(row)->text(column).toStdString());
        return texts;
    }
    static std::set<std::string> ColumnSet(QTreeWidget& list, int column) {
        const Texts texts = Column(list, column);
        return {texts.begin(), texts.end()};
    }
    // Cell text of `column` in the row whose `key_column` is `key`, keyed.
    static std::map<std::string, std::string> Cells(QTreeWidget& list, int key_column, int column) {
        std::map<std::string, std::string> out;
        for (int row = 0; row < list.topLevelItemCount(); ++row)
            out[list.topLevelItem(row)->text(key_column).toStdString()] =
                list.topLevelItem(row)->text(column).toStdString();
        return out;
    }

    SimProcess sim;
};

} // namespace

TEST_F(DiscoveryLanTest, EveryAgentGetsOneRowAlthoughItAnswersBothCopies) {
    StartSim("", 256);
    PressDiscovery();
    ASSERT_TRUE(WaitForRows(256)) << DiscoveryRows() << " rows";
    // Each agent answers the broadcast and the multicast copy: wait for every
    // second answer, then a little longer, to see no duplicate row appear.
    ASSERT_TRUE(WaitForReplies(kReply, 512)) << sim.Count(kReply) << " replies";
    Settle();

    EXPECT_EQ(DiscoveryRows(), 256);
    EXPECT_EQ(window->tables().discovery.count(), 256);
    EXPECT_EQ(ColumnSet(discovery(), kDiscMac).size(), 256u);
    EXPECT_EQ(ColumnSet(discovery(), kDiscIp), GeneratedAddresses(256));
    EXPECT_EQ(sim.Count(kReply), 512);
    EXPECT_TRUE(notifier.shown.empty()) << notifier.shown.front().text;
}

TEST_F(DiscoveryLanTest, The257thAgentIsReportedOncePerDiscovery) {
    StartSim("", 257);
    const ShownMessage add_fail{"Add fail, out of 256 devices", "Error",
                                kestrel::MessageIcon::Error};

    PressDiscovery();
    ASSERT_TRUE(WaitForRows(256));
    ASSERT_TRUE(WaitForReplies(kReply, 514)) << sim.Count(kReply) << " replies";
    Settle();
    EXPECT_EQ(DiscoveryRows(), 256);
    EXPECT_EQ(window->tables().discovery.count(), 256);
    EXPECT_EQ(ColumnSet(discovery(), kDiscMac).size(), 256u);
    // Both copies of the last agent's answer find the table full: one box.
    EXPECT_EQ(notifier.shown, std::vector<ShownMessage>({add_fail}));

    // A new discovery starts from an empty table, so it may say so again, once.
    PressDiscovery();
    ASSERT_TRUE(WaitForReplies(kReply, 1028)) << sim.Count(kReply) << " replies";
    Settle();
    EXPECT_EQ(DiscoveryRows(), 256);
    EXPECT_EQ(notifier.shown, std::vector<ShownMessage>({add_fail, add_fail}));
}

TEST_F(DiscoveryLanTest, VersionColumnShowsProtocolSubAndInterfaceVersion) {
    StartSim("ip=198.18.1.1 iface=1 product=\"Edge 1\"\n"
             "ip=198.18.1.2 iface=2 product=\"Edge 2\"\n"
             "ip=198.18.1.3 iface=3 product=\"Edge 3\"\n"
             "ip=198.18.1.4 iface=3 proto=3 product=\"Edge 4\"\n"
             "ip=198.18.1.5 iface=1 proto=3 product=\"Edge 5\"\n");
    PressDiscovery();
    ASSERT_TRUE(WaitForRows(5));
    ASSERT_TRUE(WaitForReplies(kReply, 10));
    Settle();

    EXPECT_EQ(Cells(discovery(), kDiscIp, kDiscVersion),
              (std::map<std::string, std::string>{{"198.18.1.1", "2.001.001"},
                                                  {"198.18.1.2", "2.001.002"},
                                                  {"198.18.1.3", "2.001.003"},
                                                  {"198.18.1.4", "3.001.003"},
                                                  {"198.18.1.5", "3.001.001"}}));
    // Another protocol version is recorded from its header alone.
    EXPECT_EQ(Cells(discovery(), kDiscIp, kDiscProduct),
              (std::map<std::string, std::string>{{"198.18.1.1", "Edge 1"},
                                                  {"198.18.1.2", "Edge 2"},
                                                  {"198.18.1.3", "Edge 3"},
                                                  {"198.18.1.4", ""},
                                                  {"198.18.1.5", ""}}));
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(DiscoveryLanTest, AgentOfAnotherUtilityAddsNothing) {
    StartSim("ip=198.18.1.1\n"
             "ip=198.18.1.2 utility=DEADBEEF\n"
             "ip=198.18.1.3\n");
    PressDiscovery();
    ASSERT_TRUE(WaitForRows(2));
    // The foreign agent did answer, twice; its answers must simply be dropped.
    ASSERT_TRUE(WaitForReplies("REPLY 198.18.1.2 DISCOVERY_REPLY", 2));
    ASSERT_TRUE(WaitForReplies(kReply, 6));
    Settle();

    EXPECT_EQ(Column(discovery(), kDiscIp), Texts({"198.18.1.1", "198.18.1.3"}));
    EXPECT_EQ(window->tables().discovery.count(), 2);
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(DiscoveryLanTest, MovedAgentIsRefreshedInTheMonitorListOnly) {
    StartSim("ip=198.18.1.1\nip=198.18.1.2\nip=198.18.1.3\n");
    PressDiscovery();
    ASSERT_TRUE(WaitForRows(3));
    ASSERT_TRUE(WaitForReplies(kReply, 6));
    Settle();

    // Select 198.18.1.2 and move it with "Add to monitor list".
    const Texts ips = Column(discovery(), kDiscIp);
    const auto it = std::find(ips.begin(), ips.end(), "198.18.1.2");
    ASSERT_NE(it, ips.end());
    QTreeWidgetItem* item = discovery().topLevelItem(static_cast<int>(it - ips.begin()));
    QTest::mouseClick(discovery().viewport(), Qt::LeftButton, {},
                      discovery().visualItemRect(item).center());
    QTest::mouseClick(Find<QPushButton>("ctl1002"), Qt::LeftButton);
    ASSERT_EQ(Column(monitor(), kMonIp), Texts({"198.18.1.2"}));
    ASSERT_EQ(DiscoveryRows(), 2);
    const std::string mac = Column(monitor(), kMonMac).at(0);

    PressDiscovery();
    // The press empties the discovery list; the monitor list stays, and the
    // press counts as a poll of the monitored agent.
    EXPECT_EQ(DiscoveryRows(), 0);
    EXPECT_EQ(Column(monitor(), kMonIp), Texts({"198.18.1.2"}));
    EXPECT_EQ(window->tables().monitor.records[0].reply_flag, 0);

    ASSERT_TRUE(WaitForReplies(kReply, 12));
    ASSERT_TRUE(WaitForRows(2));
    Settle();
    EXPECT_EQ(ColumnSet(discovery(), kDiscIp), (std::set<std::string>{"198.18.1.1", "198.18.1.3"}));
    EXPECT_EQ(Column(monitor(), kMonIp), Texts({"198.18.1.2"}));
    EXPECT_EQ(Column(monitor(), kMonMac), Texts({mac}));
    // Its answer reached the monitor record.
    EXPECT_EQ(window->tables().monitor.records[0].reply_flag, 1);
    EXPECT_EQ(window->tables().monitor.records[0].missed_polls, 0);
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(DiscoveryLanTest, AgentMonitoredByAddressIsFilledInFromItsAnswer) {
    StartSim("ip=198.18.1.1 product=\"Core A\"\n"
             "ip=198.18.1.2 product=\"Core B\" mac=02:4b:53:aa:bb:cc\n");
    // As "Add item" leaves it: an address, nothing else known yet.
    kestrel::DeviceRecord r = kestrel::ZeroRecord();
    kestrel::SetFieldText(r.ip_text, "198.18.1.2");
    r.ip = kestrel::ParseIpv4("198.18.1.2").value_or(0);
    r.row_state = kestrel::kRowNew;
    r.status_image = kestrel::kImageNone;
    ASSERT_TRUE(window->tables().monitor.Append(r));
    window->lists().RefreshMonitorRow(0);
    ASSERT_EQ(Column(monitor(), kMonMac), Texts({""}));

    PressDiscovery();
    ASSERT_TRUE(WaitForRows(1));
    ASSERT_TRUE(WaitForReplies(kReply, 4));
    Settle();

    EXPECT_EQ(Column(discovery(), kDiscIp), Texts({"198.18.1.1"}));
    EXPECT_EQ(Column(monitor(), kMonIp), Texts({"198.18.1.2"}));
    EXPECT_EQ(Column(monitor(), kMonMac), Texts({"024b53aabbcc"}));
    EXPECT_EQ(Column(monitor(), kMonProduct), Texts({"Core B"}));
    EXPECT_EQ(window->tables().monitor.count(), 1);
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(DiscoveryLanTest, RowsComeBackAfterTheListWasEmptied) {
    StartSim("", 4);
    PressDiscovery();
    ASSERT_TRUE(WaitForRows(4));
    ASSERT_TRUE(WaitForReplies(kReply, 8));
    Settle();

    ASSERT_TRUE(sim.Command("silent 198.18.1.4"));
    PressDiscovery();
    // Nothing is waited for: the press returns with an empty list and the
    // rows arrive afterwards, one by one.
    EXPECT_EQ(DiscoveryRows(), 0);
    EXPECT_EQ(window->tables().discovery.count(), 0);
    ASSERT_TRUE(WaitForRows(3));
    ASSERT_TRUE(WaitForReplies(kReply, 14));
    Settle();
    EXPECT_EQ(ColumnSet(discovery(), kDiscIp),
              (std::set<std::string>{"198.18.1.1", "198.18.1.2", "198.18.1.3"}));

    ASSERT_TRUE(sim.Command("wake 198.18.1.4"));
    PressDiscovery();
    ASSERT_TRUE(WaitForRows(4));
    ASSERT_TRUE(WaitForReplies(kReply, 22));
    Settle();
    EXPECT_EQ(ColumnSet(discovery(), kDiscIp), GeneratedAddresses(4));
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(DiscoveryLanTest, LateRepliesStillAddTheirRows) {
    // 150 ms between answers: the last of 12 comes well over a second
    // after the first, long after the press returned.
    StartSim("", 6, {"--pace-us", "150000"});
    PressDiscovery();
    ASSERT_TRUE(WaitForRows(1));
    const int rows_at_first = DiscoveryRows();
    QElapsedTimer since_first;
    since_first.start();
    ASSERT_TRUE(WaitForRows(6, 8000)) << DiscoveryRows() << " rows";
    EXPECT_LT(rows_at_first, 6);
    EXPECT_GE(since_first.elapsed(), 300);
    ASSERT_TRUE(WaitForReplies(kReply, 12, 8000));
    Settle(1200); // the paced second copies
    EXPECT_EQ(DiscoveryRows(), 6);
    EXPECT_EQ(ColumnSet(discovery(), kDiscIp), GeneratedAddresses(6));
    EXPECT_TRUE(notifier.shown.empty());
}
