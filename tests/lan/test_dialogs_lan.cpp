// Password change, DHCP refresh and Group Interval end to end: the real main
// window opens the dialogs from its buttons and menu, simulated agents answer
// what they send, and the keep-alive's IGMP reports are read off the wire.
// Runs inside scripts/lan.

#include "LanWindowFixture.h"
#include "WireCapture.h"
#include "config/ui/Change_Password.h"
#include "config/ui/DHCP_Refresh.h"
#include "config/ui/GroupTimer.h"
#include "protocol/settings/SettingsDefaults.h"
#include "protocol/settings/SettingsFile.h"
#include "protocol/wire/Ipv4Text.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace lan_window;

namespace {

constexpr int kDiscSystemName = 4; // discovery list columns
constexpr int kDiscDhcp = 5;
constexpr int kMonSystemName = 5; // monitor list columns
constexpr int kMonDhcp = 6;

const ShownMessage kPasswordError{"Device return : password error", "Error",
                                  kestrel::MessageIcon::Error};
const ShownMessage kDhcpRefreshFail{"Device return : dhcp refresh fail", "Error",
                                    kestrel::MessageIcon::Error};

const char* const kAgent = "ip=198.18.1.1 mac=020000000001 iface=3 password=admin name=before "
                           "dhcp=1 subnet=255.254.0.0 gateway=198.18.0.254 trap=198.18.0.1\n";
const char* const kLoader = "ip=198.18.1.2 mac=020000000002 iface=3 loader=1\n";

class DialogsLanTest : public LanWindowFixture {
protected:
    // The agent's row in the list the case works from: the discovery list,
    // or the monitor list after "Add to monitor list".
    QTreeWidget& AgentRow(bool from_monitor) {
        Discover(1);
        SelectRow(discovery(), 0);
        if (!from_monitor)
            return discovery();
        Press("ctl1002");
        EXPECT_EQ(monitor().topLevelItemCount(), 1);
        discovery().clearSelection();
        SelectRow(monitor(), 0);
        return monitor();
    }
    // "Password change", the three boxes filled, "Set".
    void ChangePassword(const std::string& original, const std::string& fresh) {
        bool opened = false;
        const ModalAnswer answer([&](QWidget* modal) {
            auto* dialog = qobject_cast<CChange_Password*>(modal);
            if (!dialog) {
                modal->close();
                return;
            }
            opened = true;
            for (const auto& [name, text] :
                 {std::pair{"ctl1016", original}, {"ctl1021", fresh}, {"ctl1023", fresh}})
                QTest::keyClicks(dialog->findChild<QLineEdit*>(QString::fromLatin1(name)),
                                 QString::fromStdString(text));
            QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("ctl1032")),
                              Qt::LeftButton);
        });
        Press("ctl1008");
        ASSERT_TRUE(opened);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the dialog closed after Set";
    }
    // "DHCP Refresh", the password typed, "Apply".
    void RefreshDhcp(const std::string& password) {
        bool opened = false;
        const ModalAnswer answer([&](QWidget* modal) {
            auto* dialog = qobject_cast<CDHCP_Refresh*>(modal);
            if (!dialog) {
                modal->close();
                return;
            }
            opened = true;
            QTest::keyClicks(dialog->findChild<QLineEdit*>(QStringLiteral("ctl1132")),
                             QString::fromStdString(password));
            QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("ctl1133")),
                              Qt::LeftButton);
        });
        Press("ctl1131");
        ASSERT_TRUE(opened);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the dialog closed after Apply";
    }
    // Option > "Group Interval", the text typed, "OK".
    void SetGroupInterval(const char* text) {
        bool opened = false;
        const ModalAnswer answer([&](QWidget* modal) {
            auto* dialog = qobject_cast<CGroupTimer*>(modal);
            if (!dialog) {
                modal->close();
                return;
            }
            opened = true;
            auto* box = dialog->findChild<QLineEdit*>(QStringLiteral("ctl1136"));
            box->clear();
            QTest::keyClicks(box, QString::fromLatin1(text));
            QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("ctl1")),
                              Qt::LeftButton);
        });
        Find<QAction>("cmd32793")->trigger();
        ASSERT_TRUE(opened);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the dialog closed after OK";
    }
    // Until the agent has answered this many more set-type requests.
    void WaitForSetReplies(int before, int more) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return sim.Count("SET_REPLY") >= before + more; }));
        QTest::qWait(300);
    }
};

// From the discovery list the request goes by broadcast and multicast and
// is answered twice; from the monitor list by unicast, answered once.
struct ListCase {
    const char* name;
    bool from_monitor;
    int copies;
};

class ByListTest : public DialogsLanTest, public ::testing::WithParamInterface<ListCase> {};

INSTANTIATE_TEST_SUITE_P(Lists, ByListTest,
                         ::testing::Values(ListCase{"Discovery", false, 2},
                                           ListCase{"Monitor", true, 1}),
                         [](const ::testing::TestParamInfo<ListCase>& p) {
                             return std::string(p.param.name);
                         });

TEST_P(ByListTest, ChangedPasswordIsTheOnlyOneTheAgentTakesAfterwards) {
    const ListCase& c = GetParam();
    StartSim(kAgent);
    QTreeWidget& list = AgentRow(c.from_monitor);
    ASSERT_FALSE(HasFatalFailure());
    const int name_column = c.from_monitor ? kMonSystemName : kDiscSystemName;

    int replies = sim.Count("SET_REPLY");
    ChangePassword("admin", "n3w-Secret");
    ASSERT_TRUE(WaitForMessage(kSetSuccessful));
    WaitForSetReplies(replies, c.copies);
    EXPECT_EQ(notifier.shown, std::vector<ShownMessage>({kSetSuccessful}));
    EXPECT_EQ(sim.Count("SET 198.18.1.1 kind=config status=0"), 1);

    // The old password is refused by the agent and changes nothing.
    notifier.shown.clear();
    replies = sim.Count("SET_REPLY");
    SelectRow(list, 0);
    Configure({.password = "admin", .system_name = "with-old"});
    ASSERT_TRUE(WaitForMessage(kPasswordError));
    WaitForSetReplies(replies, c.copies);
    EXPECT_EQ(notifier.shown, std::vector<ShownMessage>({kPasswordError}));
    EXPECT_EQ(list.topLevelItem(0)->text(name_column).toStdString(), "before");

    // The new one is taken.
    notifier.shown.clear();
    replies = sim.Count("SET_REPLY");
    SelectRow(list, 0);
    Configure({.password = "n3w-Secret", .system_name = "with-new"});
    ASSERT_TRUE(WaitForMessage(kSetSuccessful));
    WaitForSetReplies(replies, c.copies);
    EXPECT_EQ(notifier.shown, std::vector<ShownMessage>({kSetSuccessful}));
    EXPECT_EQ(list.topLevelItem(0)->text(name_column).toStdString(), "with-new");
    EXPECT_EQ(sim.Count("kind=config status=2"), 1);
    EXPECT_EQ(sim.Count("kind=config status=0"), 2);
}

TEST_P(ByListTest, FailedDhcpRefreshIsShownAndTheRowStillTakesTheAnswer) {
    const ListCase& c = GetParam();
    StartSim(kAgent);
    QTreeWidget& list = AgentRow(c.from_monitor);
    ASSERT_FALSE(HasFatalFailure());
    const int name_column = c.from_monitor ? kMonSystemName : kDiscSystemName;
    const int dhcp_column = c.from_monitor ? kMonDhcp : kDiscDhcp;
    ASSERT_TRUE(Find<QPushButton>("ctl1131")->isEnabled());
    ASSERT_EQ(list.topLevelItem(0)->text(dhcp_column).toStdString(), "enable");

    // The agent's answer differs from what the row shows: a new name, and
    // no DHCP field, which only a whole-record copy takes over.
    ASSERT_TRUE(sim.Command("set 198.18.1.1 name=after dhcp=none dhcp_fail=1"));
    const int replies = sim.Count("SET_REPLY");
    RefreshDhcp("admin");
    ASSERT_TRUE(WaitForMessage(kDhcpRefreshFail));
    WaitForSetReplies(replies, c.copies);

    EXPECT_EQ(sim.Count("SET 198.18.1.1 kind=dhcp-refresh status=6"), 1);
    EXPECT_EQ(notifier.shown, std::vector<ShownMessage>({kDhcpRefreshFail}));
    ASSERT_EQ(list.topLevelItemCount(), 1);
    EXPECT_EQ(list.topLevelItem(0)->text(name_column).toStdString(), "after");
    EXPECT_EQ(list.topLevelItem(0)->text(dhcp_column).toStdString(), "");
    const kestrel::DeviceTable& table =
        c.from_monitor ? window->tables().monitor : window->tables().discovery;
    ASSERT_EQ(table.count(), 1);
    EXPECT_EQ(table.InUse()[0].dhcp_state, kestrel::kDhcpNotReported);
    // The failed answer leaves the pending target for a later success.
    EXPECT_EQ(window->setExchange().pending_ip, *kestrel::ParseIpv4("198.18.1.1"));
}

TEST_F(DialogsLanTest, ButtonsAndMenuOpenTheirDialogsOnceTheSelectionPasses) {
    StartSim(kAgent + std::string(kLoader));
    Discover(2);
    int agent_row = -1;
    int loader_row = -1;
    for (int row = 0; row < discovery().topLevelItemCount(); ++row) {
        if (discovery().topLevelItem(row)->text(0) == QStringLiteral("020000000001"))
            agent_row = row;
        else
            loader_row = row;
    }
    ASSERT_GE(agent_row, 0);
    ASSERT_GE(loader_row, 0);

    enum class Select { Nothing, Agent, LoaderByKeyboard, LoaderClicked };
    const struct {
        const char* name;
        Select select;
        const char* button; // nullptr: the menu item
        const char* title;  // the dialog that opens, or nullptr
        const char* message;
    } cases[] = {
        {"password, nothing selected", Select::Nothing, "ctl1008", nullptr,
         "Please select one device"},
        {"password, agent", Select::Agent, "ctl1008", "Password_change", nullptr},
        {"password, loader", Select::LoaderClicked, "ctl1008", nullptr,
         "Agent is in loader mode, it can't set \n it needs firmware upgrade"},
        {"dhcp, agent", Select::Agent, "ctl1131", "DHCP Refresh", nullptr},
        // The button keeps the state of the last click.
        {"dhcp, nothing selected", Select::Nothing, "ctl1131", nullptr, "Please select one device"},
        // Enabled by the agent's click, kept through a keyboard move; a
        // loader passes the check of this command.
        {"dhcp, loader", Select::LoaderByKeyboard, "ctl1131", "DHCP Refresh", nullptr},
        {"group interval, nothing selected", Select::Nothing, nullptr, "Group Interval", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        discovery().clearSelection();
        switch (c.select) {
        case Select::Nothing:
            break;
        case Select::Agent:
            SelectRow(discovery(), agent_row);
            break;
        case Select::LoaderClicked:
            SelectRow(discovery(), loader_row);
            break;
        case Select::LoaderByKeyboard:
            SelectRow(discovery(), agent_row);
            QTest::keyClick(&discovery(), loader_row > agent_row ? Qt::Key_Down : Qt::Key_Up);
            ASSERT_EQ(discovery().selectedItems().size(), 1);
            ASSERT_EQ(discovery().selectedItems()[0], discovery().topLevelItem(loader_row));
            break;
        }
        notifier.shown.clear();
        QString title;
        const ModalAnswer answer([&](QWidget* modal) {
            title = modal->windowTitle();
            auto* dialog = qobject_cast<QDialog*>(modal);
            if (dialog)
                dialog->reject();
            else
                modal->close();
        });
        if (c.button) {
            ASSERT_TRUE(Find<QPushButton>(c.button)->isEnabled());
            Press(c.button);
        } else {
            Find<QAction>("cmd32793")->trigger();
        }
        QTest::qWait(100);
        EXPECT_EQ(answer.answered(), c.title != nullptr);
        EXPECT_EQ(title.toStdString(), c.title ? c.title : "");
        const std::vector<ShownMessage> expected =
            c.message
                ? std::vector<ShownMessage>({{c.message, "Error", kestrel::MessageIcon::Error}})
                : std::vector<ShownMessage>{};
        EXPECT_EQ(notifier.shown, expected);
    }
    // Every dialog was cancelled: nothing reached the agents.
    EXPECT_TRUE(Requests("SET").empty());
    EXPECT_TRUE(Requests("UNICAST_SET").empty());
    EXPECT_EQ(window->settings().multicast_timer_flag, kestrel::kDefaultKeepAliveFlag);
    EXPECT_EQ(window->settings().multicast_timer, kestrel::kDefaultKeepAlivePeriod);
}

TEST_F(DialogsLanTest, GroupIntervalChangesTheKeepAlivePeriodWithoutARestart) {
    using namespace wire_capture;
    ASSERT_TRUE(InsideSimulatedLan());
    constexpr uint32_t kGroup = 0xEFFFFFFA;
    const std::vector<uint8_t> kReport = {0x12, 0x00, 0xFE, 0x04, 0xEF, 0xFF, 0xFF, 0xFA};
    WireCapture wire;
    ASSERT_TRUE(wire.open());

    // A window started with the keep-alive on and a period of 2 s, shorter
    // than the dialog allows, so that the old period shows in a few seconds.
    TearDown();
    kestrel::ProtocolSettings start = kestrel::DefaultSettings();
    start.multicast_timer_flag = 1;
    start.multicast_timer = 2;
    ASSERT_TRUE(
        kestrel::CreateSettingsFile(QFile::encodeName(CfgFile("define.ecf")).toStdString(), start));
    qputenv("KESTREL_CFG_DIR", cfg_dir.path().toLocal8Bit());
    window = std::make_unique<CSwitchyardDlg>(notifier);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    kestrel::KeepAlive& keep_alive = window->network().keepAlive();
    ASSERT_TRUE(keep_alive.socketOpen());
    QElapsedTimer clock;
    clock.start();

    const std::vector<Report> before = wire.Collect(8000, kGroup, clock, 2);
    ASSERT_GE(before.size(), 2u);
    EXPECT_NEAR(before[1].at_ms - before[0].at_ms, 2000, 700);

    // Counts the seconds of the count that see the new period.
    auto* second = keep_alive.findChild<QTimer*>(QStringLiteral("keepAliveTimer"));
    ASSERT_NE(second, nullptr);
    int seconds_at_120 = 0;
    const QMetaObject::Connection counting = QObject::connect(second, &QTimer::timeout, [&] {
        if (window->settings().multicast_timer == 120)
            ++seconds_at_120;
    });
    SetGroupInterval("120");
    EXPECT_EQ(window->settings().multicast_timer_flag, 1);
    EXPECT_EQ(window->settings().multicast_timer, 120);
    const int sent = keep_alive.reportsSent();

    // Where the old period would have sent one, nothing leaves.
    EXPECT_TRUE(wire.Collect(2500, kGroup, clock).empty());
    EXPECT_EQ(keep_alive.reportsSent(), sent);
    // The rest of the new period, second by second: the next report leaves
    // one full period after the change.
    int stepped = 0;
    while (keep_alive.reportsSent() == sent && stepped < 200) {
        keep_alive.Step();
        ++stepped;
    }
    QObject::disconnect(counting);
    EXPECT_EQ(seconds_at_120 + stepped, 120);
    const std::vector<Report> after = wire.Collect(300, kGroup, clock);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].igmp, kReport);

    // Switched off: nothing leaves however many seconds pass, and the
    // switch is stored.
    SetGroupInterval("0");
    EXPECT_EQ(window->settings().multicast_timer_flag, 0);
    for (int i = 0; i < 300; ++i)
        keep_alive.Step();
    EXPECT_TRUE(wire.Collect(300, kGroup, clock).empty());
    EXPECT_EQ(keep_alive.reportsSent(), sent + 1);
    FakeNotifier quiet;
    kestrel::ProtocolSettings stored;
    ASSERT_TRUE(kestrel::LoadSettingsFile(QFile::encodeName(CfgFile("define.ecf")).toStdString(),
                                          quiet, stored));
    EXPECT_EQ(stored.multicast_timer_flag, 0);
    EXPECT_EQ(stored.multicast_timer, 0);
}

} // namespace
