#pragma once
// The real main window beside a simulated agent process: pressing its
// buttons, selecting rows, filling the Configuration setting dialog, and
// reading what the agents received. Runs inside scripts/lan.

#include "SimProcess.h"
#include "config/ui/Configuration_Set.h"
#include "gui/ModalAnswer.h"
#include "gui/WindowFixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace lan_window {

using kestrel::test::SimProcess;

inline const ShownMessage kSetSuccessful{"Set Succesful", "Information",
                                         kestrel::MessageIcon::Information};

// The form as the operator changes it; empty texts are left as loaded.
struct Changes {
    std::string password = "admin";
    std::string system_name{};
    std::string ip{};
};

class LanWindowFixture : public ShownWindowFixture {
protected:
    void StartSim(const std::string& agents) {
        ASSERT_TRUE(sim.Start({.agents = agents, .count = 0, .args = {}})) << sim.Error();
    }

    QTreeWidget& discovery() { return window->discoveryList(); }
    QTreeWidget& monitor() { return window->monitorList(); }

    void Press(const char* name) {
        QPushButton* button = Find<QPushButton>(name);
        ASSERT_NE(button, nullptr) << name;
        QTest::mouseClick(button, Qt::LeftButton);
    }
    // Discovery, until both copies of every agent's answer are in.
    void Discover(int agents) {
        const int before = sim.Count("REPLY");
        Press("ctl1001");
        ASSERT_TRUE(QTest::qWaitFor([&] { return discovery().topLevelItemCount() >= agents; }));
        ASSERT_TRUE(QTest::qWaitFor([&] { return sim.Count("REPLY") >= before + 2 * agents; }));
        QTest::qWait(200);
    }
    static void SelectRow(QTreeWidget& list, int row) {
        QTreeWidgetItem* item = list.topLevelItem(row);
        ASSERT_NE(item, nullptr);
        list.scrollToItem(item);
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(item).center());
    }
    // "Configuration setting", the changes typed in, "Set".
    void Configure(const Changes& changes) {
        bool opened = false;
        // Lives until the dialog is over, so it never acts on a later one.
        const ModalAnswer answer([&](QWidget* modal) {
            auto* dialog = qobject_cast<CConfiguration_Set*>(modal);
            if (!dialog) {
                modal->close();
                return;
            }
            opened = true;
            auto edit = [dialog](const char* name) {
                return dialog->findChild<QLineEdit*>(QString::fromLatin1(name));
            };
            QTest::keyClicks(edit("ctl1022"), QString::fromStdString(changes.password));
            if (!changes.system_name.empty()) {
                edit("ctl1027")->clear();
                QTest::keyClicks(edit("ctl1027"), QString::fromStdString(changes.system_name));
            }
            if (!changes.ip.empty()) {
                auto* ip = dialog->findChild<kestrel::IpAddressEdit*>(QStringLiteral("ctl1033"));
                ip->clear();
                const QStringList octets = QString::fromStdString(changes.ip).split(u'.');
                for (int i = 0; i < octets.size(); ++i)
                    QTest::keyClicks(&ip->octetBox(i), octets[i]);
            }
            QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("ctl1011")),
                              Qt::LeftButton);
        });
        Press("ctl1009");
        ASSERT_TRUE(opened);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the dialog closed after Set";
    }
    int Shown(const ShownMessage& m) const {
        return static_cast<int>(std::count(notifier.shown.begin(), notifier.shown.end(), m));
    }
    bool WaitForMessage(const ShownMessage& m, int timeout_ms = 5000) {
        return QTest::qWaitFor([&] { return Shown(m) > 0; }, timeout_ms);
    }
    // The report lines of set requests that reached the simulator.
    std::vector<std::string> Requests(const std::string& command) {
        std::vector<std::string> out;
        for (const std::string& line : sim.Lines())
            if (line.rfind("RX " + command + " ", 0) == 0)
                out.push_back(line);
        return out;
    }
    static std::string Word(const std::string& line, const std::string& key) {
        const std::size_t at = line.find(' ' + key + '=');
        if (at == std::string::npos)
            return {};
        const std::size_t start = at + key.size() + 2;
        return line.substr(start, line.find(' ', start) - start);
    }

    SimProcess sim;
};

} // namespace lan_window
