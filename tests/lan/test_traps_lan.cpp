// Traps end to end: simulated agents send traps to the real main window over
// its real sockets; the lamp, syslog.log and the Trap information dialog
// show them. Runs inside scripts/lan (kestrel_add_lan_test does that).

#include "SimProcess.h"
#include "gui/ModalAnswer.h"
#include "gui/WindowFixture.h"
#include "monitor/ui/Trap_Info.h"
#include "protocol/wire/Ipv4Text.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using kestrel::test::SimProcess;
using namespace kestrel;

namespace {

DeviceRecord Agent(const std::string& ip) {
    DeviceRecord r = ZeroRecord();
    SetFieldText(r.ip_text, ip);
    SetFieldText(r.mac_text, "0012ab0000" + ip.substr(ip.size() - 2));
    r.ip = ParseIpv4(ip).value_or(0);
    r.protocol_version = 2;
    r.sub_version = 1;
    r.row_state = kRowNew;
    r.status_image = kImageNone;
    return r;
}

class TrapsLanTest : public ShownWindowFixture {
protected:
    void SetUp() override {
        ShownWindowFixture::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(
            sim.Start({.agents = "ip=198.18.1.11\nip=198.18.1.12\n", .count = 0, .args = {}}))
            << sim.Error();

        // .11 is monitored (and was declared not alive), .12 only discovered.
        DeviceTables& state = window->tables();
        ASSERT_TRUE(state.monitor.Append(Agent("198.18.1.11")));
        window->lists().RefreshMonitorRow(0);
        state.monitor.records[0].row_state = kRowNotAlive;
        state.monitor.records[0].status_image = kImageNotAlive;
        state.monitor.records[0].missed_polls = 3;
        window->lists().RefreshMonitorRow(0);
        ASSERT_TRUE(state.discovery.Append(Agent("198.18.1.12")));
        window->lists().RefreshDiscoveryRow(0);
    }

    std::string Log() {
        QFile file(CfgFile("syslog.log"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return file.readAll().toStdString();
    }
    QString Lamp() { return Find<QLabel>("ctl1006")->accessibleDescription(); }

    SimProcess sim;
};

TEST_F(TrapsLanTest, AMonitoredAgentsTrapLightsTheLampIsLoggedAndShown) {
    EXPECT_EQ(Lamp(), QStringLiteral("No new traps"));
    ASSERT_TRUE(sim.Command("trap 198.18.1.11 Port 3 link up"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->trapTable().count() == 1; }, 10000));

    EXPECT_EQ(Lamp(), QStringLiteral("New traps arrived"));
    const std::string log = Log();
    ASSERT_EQ(log.size(), 19u + std::string(" 198.18.1.11 Trap :Port 3 link up\r\n").size());
    EXPECT_EQ(log.substr(19), " 198.18.1.11 Trap :Port 3 link up\r\n");
    const DeviceRecord& r = window->tables().monitor.records[0];
    EXPECT_EQ(r.status_image, kImageNone);
    EXPECT_EQ(r.missed_polls, 0);
    EXPECT_TRUE(window->monitorList().topLevelItem(0)->icon(0).isNull());

    std::vector<std::string> rows;
    QString lamp_while_open;
    ModalAnswer answer([&](QWidget* modal) {
        lamp_while_open = Lamp();
        if (auto* dialog = qobject_cast<CTrap_Info*>(modal)) {
            for (int i = 0; i < dialog->trapList().topLevelItemCount(); ++i) {
                const QTreeWidgetItem* row = dialog->trapList().topLevelItem(i);
                rows.push_back(row->text(2).toStdString() + ' ' + row->text(3).toStdString());
            }
        }
        modal->close();
    });
    QTest::mouseClick(Find<QPushButton>("ctl1007"), Qt::LeftButton);
    EXPECT_TRUE(answer.answered());
    EXPECT_EQ(lamp_while_open, QStringLiteral("No new traps"));
    EXPECT_EQ(rows, (std::vector<std::string>{"198.18.1.11 Port 3 link up"}));
}

TEST_F(TrapsLanTest, ATrapFromAnAgentOnlyInTheDiscoveryListIsIgnored) {
    ASSERT_TRUE(sim.Command("trap 198.18.1.12 ignored"));
    // Then one that counts, to know the first has been read before it.
    ASSERT_TRUE(sim.Command("trap 198.18.1.11 counted"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->trapTable().count() >= 1; }, 10000));
    QTest::qWait(300);
    EXPECT_EQ(window->trapTable().count(), 1);
    EXPECT_EQ(FieldText(window->trapTable().Entry(0).event_text), "counted");
    EXPECT_EQ(Log().find("ignored"), std::string::npos);
    EXPECT_EQ(Log().find("198.18.1.12"), std::string::npos);
    EXPECT_EQ(window->discoveryList().topLevelItemCount(), 1);
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(TrapsLanTest, OverLongAndEmptyTextsReachTheLogWholeAndTheDialogListsEveryTrap) {
    const std::string long_text(300, 'x');
    ASSERT_TRUE(sim.Command("trap 198.18.1.11 " + long_text));
    ASSERT_TRUE(sim.Command("set 198.18.1.11 trap_text="));
    ASSERT_TRUE(sim.Command("trap 198.18.1.11"));
    ASSERT_TRUE(sim.Command("trap 198.18.1.11 after"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->trapTable().count() == 3; }, 10000));

    const std::string log = Log();
    EXPECT_NE(log.find(" 198.18.1.11 Trap :" + long_text + "\r\n"), std::string::npos);
    EXPECT_NE(log.find(" 198.18.1.11 Trap :\r\n"), std::string::npos);
    EXPECT_NE(log.find(" 198.18.1.11 Trap :after\r\n"), std::string::npos);
    EXPECT_EQ(FieldText(window->trapTable().Entry(0).event_text), long_text.substr(0, 255));

    std::vector<std::string> rows;
    ModalAnswer answer([&](QWidget* modal) {
        if (auto* dialog = qobject_cast<CTrap_Info*>(modal))
            for (int i = 0; i < dialog->trapList().topLevelItemCount(); ++i)
                rows.push_back(dialog->trapList().topLevelItem(i)->text(3).toStdString());
        modal->close();
    });
    QTest::mouseClick(Find<QPushButton>("ctl1007"), Qt::LeftButton);
    EXPECT_TRUE(answer.answered());
    EXPECT_EQ(rows, (std::vector<std::string>{long_text.substr(0, 255), "", "after"}));
}

TEST_F(TrapsLanTest, AFloodFromOneAgentIsFoldedInTheLogAndEveryTrapKept) {
    constexpr int kFlood = 1000;
    ASSERT_TRUE(sim.Command("set 198.18.1.11 burst=" + std::to_string(kFlood)));
    ASSERT_TRUE(sim.Command("trap 198.18.1.11 flood"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->trapTable().count() == kFlood; }, 10000));
    // No line follows the flood: the window's timer writes the last count.
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->eventLog().heldRepeats() == 0; }, 5000));

    // Each second of the flood is at most two lines: its trap line, then the
    // count of its repeats (or the one repeat itself).
    const std::string log = Log();
    const std::string trap = " 198.18.1.11 Trap :flood\r\n";
    const std::string repeated = " 198.18.1.11 last message repeated ";
    long long logged = 0;
    std::map<std::string, int> lines_per_second;
    std::string last_stamp;
    std::size_t pos = 0;
    while (pos < log.size()) {
        const std::size_t end = log.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos);
        const std::string stamp = log.substr(pos, 19);
        const std::string rest = log.substr(pos + 19, end + 2 - pos - 19);
        ++lines_per_second[stamp];
        if (rest == trap) {
            ++logged;
        } else {
            ASSERT_EQ(rest.substr(0, repeated.size()), repeated) << rest;
            EXPECT_EQ(stamp, last_stamp) << "a count has the stamp of the line it repeats";
            const std::string count = rest.substr(repeated.size());
            logged += std::stoll(count);
            EXPECT_EQ(count.substr(count.find(' ')), " times\r\n");
        }
        last_stamp = stamp;
        pos = end + 2;
    }
    EXPECT_EQ(logged, kFlood);
    for (const auto& [stamp, lines] : lines_per_second)
        EXPECT_LE(lines, 2) << stamp;
    EXPECT_LT(lines_per_second.size(), 10u) << "the flood took that many seconds";
    EXPECT_TRUE(notifier.shown.empty());
}

} // namespace
