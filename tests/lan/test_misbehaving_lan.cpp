// Well-behaved agents among misbehaving ones, through the real main window:
// discovery, "Add to monitor list", "Monitor save" and a fresh window that
// loads the saved list. Runs inside scripts/lan (kestrel_add_lan_test).

#include "SimProcess.h"
#include "gui/WindowFixture.h"
#include "protocol/lists/ListMessages.h"
#include "protocol/wire/PacketHeader.h"

#include <QAction>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

using kestrel::test::SimProcess;

namespace {

// Discovery list columns.
constexpr int kDiscMac = 0;
constexpr int kDiscIp = 1;
// Monitor list columns.
constexpr int kMonIp = 1;
constexpr int kMonMac = 2;

constexpr int kWellBehaved = 40;
constexpr int kTimeoutMs = 30000;

struct Known {
    std::string ip;
    std::string mac; // as the lists show it
};

// Well-behaved agent n (0-based): 198.18.1.(n+1), MAC 02:4b:53:00:01:(n+1).
Known WellBehaved(int n) {
    char mac[16];
    std::snprintf(mac, sizeof mac, "024b530001%02x", n + 1);
    return {"198.18.1." + std::to_string(n + 1), mac};
}

// Misbehaving agents live in 198.18.2.0/24 with MACs 02:bd:00:00:00:xx.
struct Misbehaving {
    int host;
    const char* keys;
    bool listed; // answers with status 0, so it gets a discovery row
};
const Misbehaving kMisbehaving[] = {
    {1, "dup=1", true},
    {2, "dup=1 iface=1", true},
    {3, "delay_ms=1500", true},
    {4, "delay_ms=700 dup=1", true},
    {5, "reorder=1", true},
    {6, "reorder=1 iface=2", true},
    {7, "wrong_seq=1", true},
    {8, "status=3", false},
    {9, "status=5 dup=1", false},
    {10, "burst=20", true},
    {11, "burst=5 delay_ms=300", true},
    {12, "hostile=1", true},
    {13, "hostile=1 iface=1", true},
    {14, "claim=198.18.1.40", true}, // the last well-behaved agent's address
};
constexpr const char* kClaimed = "198.18.1.40";
constexpr int kBurstHost = 15; // sent unasked discovery replies by a control line

std::string MisbehavingMac(int host) {
    char mac[16];
    std::snprintf(mac, sizeof mac, "02bd000000%02x", host);
    return mac;
}

std::string AgentsFile() {
    std::string text;
    for (int n = 0; n < kWellBehaved; ++n) {
        const Known k = WellBehaved(n);
        text += "ip=" + k.ip + " mac=" + k.mac + '\n';
    }
    for (const Misbehaving& m : kMisbehaving)
        text += "ip=198.18.2." + std::to_string(m.host) + " mac=" + MisbehavingMac(m.host) + ' ' +
                m.keys + '\n';
    text +=
        "ip=198.18.2." + std::to_string(kBurstHost) + " mac=" + MisbehavingMac(kBurstHost) + '\n';
    return text;
}

// MAC text -> every IP text shown with it, one entry per row.
std::map<std::string, std::vector<std::string>> RowsByMac(QTreeWidget& list, int mac_column,
                                                          int ip_column) {
    std::map<std::string, std::vector<std::string>> rows;
    for (int row = 0; row < list.topLevelItemCount(); ++row)
        rows[list.topLevelItem(row)->text(mac_column).toStdString()].push_back(
            list.topLevelItem(row)->text(ip_column).toStdString());
    return rows;
}

// The IP texts of a MAC's rows; none when it has no row (no entry is made).
std::vector<std::string> IpsOf(const std::map<std::string, std::vector<std::string>>& rows,
                               const std::string& mac) {
    const auto it = rows.find(mac);
    return it == rows.end() ? std::vector<std::string>{} : it->second;
}

class MisbehavingLanTest : public ShownWindowFixture {
protected:
    void SetUp() override {
        ShownWindowFixture::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(sim.Start({.agents = AgentsFile(), .count = 0, .args = {}})) << sim.Error();
    }

    QTreeWidget& discovery() { return window->discoveryList(); }
    QTreeWidget& monitor() { return window->monitorList(); }

    void Press(const char* name) {
        QPushButton* button = Find<QPushButton>(name);
        ASSERT_NE(button, nullptr) << name;
        QTest::mouseClick(button, Qt::LeftButton);
    }
    // Every listed agent has its discovery row and every expected answer left.
    bool WaitForDiscovery(int replies_before) {
        const int expected_replies =
            2 * (kWellBehaved + static_cast<int>(std::size(kMisbehaving)) + 1);
        const bool replied = QTest::qWaitFor(
            [&] { return sim.Count("DISCOVERY_REPLY") >= replies_before + expected_replies; },
            kTimeoutMs);
        const bool rows = QTest::qWaitFor(
            [&] {
                const auto shown = RowsByMac(discovery(), kDiscMac, kDiscIp);
                for (int n = 0; n < kWellBehaved; ++n)
                    if (!shown.count(WellBehaved(n).mac) && !InMonitor(WellBehaved(n).mac))
                        return false;
                for (const Misbehaving& m : kMisbehaving)
                    if (m.listed && !shown.count(MisbehavingMac(m.host)))
                        return false;
                return true;
            },
            kTimeoutMs);
        // Held, delayed and copied answers: let the last of them land.
        QTest::qWait(2500);
        return replied && rows;
    }
    bool InMonitor(const std::string& mac) {
        return RowsByMac(monitor(), kMonMac, kMonIp).count(mac) != 0;
    }
    void CtrlClick(QTreeWidgetItem* item) {
        discovery().scrollToItem(item);
        QTest::mouseClick(discovery().viewport(), Qt::LeftButton, Qt::ControlModifier,
                          discovery().visualItemRect(item).center());
    }
    int Shown(int status) {
        int n = 0;
        for (const ShownMessage& m : notifier.shown)
            n += m.text.rfind(kestrel::ReplyStatusMessage(status), 0) == 0;
        return n;
    }

    SimProcess sim;
};

} // namespace

TEST_F(MisbehavingLanTest, WellBehavedAgentsSurviveDiscoveryMonitorSaveAndLoad) {
    Press("ctl1001");
    ASSERT_TRUE(sim.Command("burst 198.18.2." + std::to_string(kBurstHost) + " 50"));
    ASSERT_TRUE(WaitForDiscovery(0)) << discovery().topLevelItemCount() << " rows";

    // Discovery: every well-behaved agent once, with its own address.
    auto rows = RowsByMac(discovery(), kDiscMac, kDiscIp);
    for (int n = 0; n < kWellBehaved; ++n) {
        const Known k = WellBehaved(n);
        EXPECT_EQ(IpsOf(rows, k.mac), std::vector<std::string>{k.ip}) << k.mac;
    }
    for (const Misbehaving& m : kMisbehaving) {
        SCOPED_TRACE(m.keys);
        EXPECT_EQ(rows.count(MisbehavingMac(m.host)), m.listed ? 1u : 0u);
        if (m.listed) {
            EXPECT_EQ(IpsOf(rows, MisbehavingMac(m.host)).size(), 1u)
                << "copies make no second row";
        }
    }
    EXPECT_EQ(IpsOf(rows, MisbehavingMac(kBurstHost)).size(), 1u);
    EXPECT_EQ(IpsOf(rows, MisbehavingMac(14)), std::vector<std::string>{kClaimed});
    // Each kind of error answer says so (repeats merged into its box), and
    // nothing else was shown.
    EXPECT_GE(Shown(kestrel::STATUS_COMMAND_ERROR), 1);
    EXPECT_GE(Shown(kestrel::STATUS_ACL_ERROR), 1);
    EXPECT_EQ(static_cast<int>(notifier.shown.size()),
              Shown(kestrel::STATUS_COMMAND_ERROR) + Shown(kestrel::STATUS_ACL_ERROR));

    // Every fourth well-behaved agent into the monitor list. The one whose
    // address is claimed shares it with another row: the move refuses it.
    std::set<std::string> chosen;
    for (int n = 3; n < kWellBehaved; n += 4)
        chosen.insert(WellBehaved(n).mac);
    const std::string victim = WellBehaved(kWellBehaved - 1).mac;
    ASSERT_TRUE(chosen.count(victim));
    discovery().clearSelection();
    for (int row = 0; row < discovery().topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = discovery().topLevelItem(row);
        if (chosen.count(item->text(kDiscMac).toStdString()))
            CtrlClick(item);
    }
    ASSERT_EQ(discovery().selectedItems().size(), static_cast<int>(chosen.size()));
    const std::size_t boxes_before_move = notifier.shown.size();
    Press("ctl1002");
    ASSERT_EQ(notifier.shown.size(), boxes_before_move + 1);
    EXPECT_EQ(notifier.shown.back().text, kestrel::kMoveDuplicateIp.text);
    chosen.erase(victim);

    // Another round: the monitored agents are polled by it, the rest listed
    // again.
    Press("ctl1001");
    ASSERT_TRUE(WaitForDiscovery(sim.Count("DISCOVERY_REPLY")));

    auto monitored = RowsByMac(monitor(), kMonMac, kMonIp);
    rows = RowsByMac(discovery(), kDiscMac, kDiscIp);
    for (int n = 0; n < kWellBehaved; ++n) {
        const Known k = WellBehaved(n);
        SCOPED_TRACE(k.ip);
        const std::size_t listed = IpsOf(rows, k.mac).size() + IpsOf(monitored, k.mac).size();
        EXPECT_EQ(listed, 1u) << "each well-behaved agent in exactly one list";
        EXPECT_EQ(monitored.count(k.mac), chosen.count(k.mac));
        if (chosen.count(k.mac)) {
            EXPECT_EQ(IpsOf(monitored, k.mac), std::vector<std::string>{k.ip});
        }
    }

    QAction* save = Find<QAction>("cmd32771");
    ASSERT_NE(save, nullptr);
    save->trigger();
    const std::size_t boxes_before_save = notifier.shown.size();
    QTest::qWait(200);
    EXPECT_EQ(notifier.shown.size(), boxes_before_save) << notifier.shown.back().text;

    // A fresh window on the same cfg directory loads what was saved.
    window.reset();
    window = std::make_unique<CSwitchyardDlg>(notifier);
    ASSERT_FALSE(window->endedDuringStartUp());
    window->show();
    monitored = RowsByMac(monitor(), kMonMac, kMonIp);
    std::set<std::string> loaded;
    for (const auto& [mac, ips] : monitored) {
        loaded.insert(mac);
        EXPECT_EQ(ips.size(), 1u) << mac;
    }
    EXPECT_EQ(loaded, chosen);
    for (int n = 0; n < kWellBehaved; ++n) {
        const Known k = WellBehaved(n);
        if (chosen.count(k.mac)) {
            EXPECT_EQ(IpsOf(monitored, k.mac), std::vector<std::string>{k.ip}) << k.mac;
        }
    }
}

// The monitor list is keyed by the address an agent reports: a second agent
// that claims a monitored address refreshes that one row (it shows whichever
// answered last) and never adds a row of its own, in either list.
TEST_F(MisbehavingLanTest, AgentClaimingAMonitoredAddressRefreshesThatRowOnly) {
    // The claimer starts silent: its victim moves to the monitor list alone.
    const std::string claimer = "198.18.2.14";
    const Known victim = WellBehaved(kWellBehaved - 1);
    ASSERT_TRUE(sim.Command("silent " + claimer));
    Press("ctl1001");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return RowsByMac(discovery(), kDiscMac, kDiscIp).count(victim.mac) != 0; },
        kTimeoutMs));
    QTest::qWait(2500);
    for (int row = 0; row < discovery().topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = discovery().topLevelItem(row);
        item->setSelected(item->text(kDiscMac).toStdString() == victim.mac);
    }
    Press("ctl1002");
    ASSERT_EQ(IpsOf(RowsByMac(monitor(), kMonMac, kMonIp), victim.mac),
              std::vector<std::string>{victim.ip});

    // Now it speaks up, claiming the monitored agent's address.
    ASSERT_TRUE(sim.Command("wake " + claimer));
    const int before = sim.Count("REPLY " + claimer + " DISCOVERY_REPLY");
    Press("ctl1001");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return sim.Count("REPLY " + claimer + " DISCOVERY_REPLY") >= before + 2; },
        kTimeoutMs));
    QTest::qWait(2500);

    int at_victim_ip = 0;
    for (int row = 0; row < monitor().topLevelItemCount(); ++row)
        at_victim_ip += monitor().topLevelItem(row)->text(kMonIp).toStdString() == victim.ip;
    EXPECT_EQ(at_victim_ip, 1);
    for (int row = 0; row < discovery().topLevelItemCount(); ++row)
        EXPECT_NE(discovery().topLevelItem(row)->text(kDiscIp).toStdString(), victim.ip);
    EXPECT_EQ(window->tables().monitor.count(), 1);
}
