// The Password change dialog through its real widgets, offscreen: the three
// boxes, the checks of Set in their order with their texts, the re-join
// after them, the one request it sends, the keyboard rule and the colours.

#include "HeldRejoinSender.h"
#include "app/OutcomeBoxes.h"
#include "config/ui/Change_Password.h"
#include "controls/ColourScheme.h"
#include "core/CoreEvents.h"
#include "support/CoreState.h"
#include "support/FakeNotifier.h"
#include "support/SetRequestBytes.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace kestrel;

namespace {

using namespace set_bytes;

DeviceRecord Agent(const char* mac, uint32_t ip, uint32_t mask) {
    DeviceRecord r = ZeroRecord();
    SetFieldText(r.mac_text, mac);
    SetFieldText(r.ip_text, "10.0.0.5");
    SetFieldText(r.product_name, "KS-108");
    r.ip = ip;
    r.protocol_version = 2;
    r.interface_version = 3;
    r.dhcp_state = kDhcpNotReported;
    r.group_interval = -1;
    r.field_mask[0] = mask;
    return r;
}

class ChangePasswordTest : public ::testing::Test {
protected:
    // The window's words for a failed send, as it connects them.
    ChangePasswordTest() { boxes.Listen(events); }

    void Open(bool in_monitor = true, uint32_t mask = 0x1FF) {
        state.settings.utility_id = 0x4B455354;
        state.settings.base_port = 5010;
        state.settings.multicast_group = "239.255.255.250";
        state.exchange.sequence = 0x0102;
        state.exchange.pending_ip = 0x01020304;
        DeviceTable& table = in_monitor ? state.tables.monitor : state.tables.discovery;
        ASSERT_TRUE(table.Append(Agent("020000000001", 0x0A000001, mask)));
        ASSERT_TRUE(table.Append(Agent("0a1b2c3d4e5f", 0x0A000005, mask)));
        const ChosenAgent agent{in_monitor ? AgentList::Monitor : AgentList::Discovery, 1};
        dialog = std::make_unique<CChange_Password>(
            SetLink{state.settings, state.exchange, state.tables, sender}, events, notifier, agent);
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    }
    QLineEdit& Box(const char* name) {
        return *dialog->findChild<QLineEdit*>(QString::fromLatin1(name));
    }
    QPushButton& Button(const char* name) {
        return *dialog->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    void Fill(const char* original, const char* fresh, const char* confirm) {
        for (auto [name, text] : {std::pair{"ctl1016", original}, std::pair{"ctl1021", fresh},
                                  std::pair{"ctl1023", confirm}}) {
            Box(name).clear();
            QTest::keyClicks(&Box(name), QString::fromLatin1(text));
        }
    }
    void Set() { QTest::mouseClick(&Button("ctl1032"), Qt::LeftButton); }

    CoreState state;
    std::vector<std::string> log;
    HeldRejoinSender sender{state.tables, log};
    FakeNotifier notifier;
    CoreEvents events;
    OutcomeBoxes boxes{notifier, notifier};
    std::unique_ptr<CChange_Password> dialog;
};

} // namespace

TEST_F(ChangePasswordTest, ThreeEmptyPasswordBoxesOfTwentyCharacters) {
    Open();
    EXPECT_EQ(dialog->windowTitle().toStdString(), "Password_change");
    for (auto [name, label] :
         {std::pair{"ctl1016", "Original password"}, std::pair{"ctl1021", "New password"},
          std::pair{"ctl1023", "Confirm password"}}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(Box(name).text().isEmpty());
        EXPECT_EQ(Box(name).echoMode(), QLineEdit::Password);
        EXPECT_EQ(Box(name).accessibleName().toStdString(), label);
        QTest::keyClicks(&Box(name), QStringLiteral("123456789012345678901234"));
        EXPECT_EQ(Box(name).text().size(), 20);
    }
    EXPECT_EQ(Button("ctl1032").text().toStdString(), "Set");
    EXPECT_EQ(Button("ctl1015").text().toStdString(), "Cancel");
}

TEST_F(ChangePasswordTest, ChecksInOrderShowOnlyTheFirstFailureAndKeepTheInput) {
    const struct {
        const char* original;
        const char* fresh;
        const char* confirm;
        const char* text;
    } cases[] = {
        {"", "abc", "abc", "Password length between 1-20  "},
        {"", "", "", "Password length between 1-20  "},
        {"admin", "", "abc", "Password length between 1-20  "},
        {"admin", "abc", "ABC", "Confirm password fail"},
        {"admin", "abc", "", "Confirm password fail"},
        {"admin", "abc", "abcd", "Confirm password fail"},
    };
    Open();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.original) + "/" + c.fresh + "/" + c.confirm);
        notifier.shown.clear();
        Fill(c.original, c.fresh, c.confirm);
        Set();
        EXPECT_EQ(notifier.shown,
                  (std::vector<ShownMessage>{{c.text, "Error", MessageIcon::Error}}));
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(Box("ctl1016").text().toStdString(), c.original);
        EXPECT_EQ(Box("ctl1021").text().toStdString(), c.fresh);
        EXPECT_EQ(Box("ctl1023").text().toStdString(), c.confirm);
    }
    EXPECT_EQ(sender.rejoins, 0);
    EXPECT_TRUE(sender.sent.empty());
}

TEST_F(ChangePasswordTest, SetRejoinsThenSendsBothPasswordsAndCloses) {
    const struct {
        const char* name;
        bool in_monitor;
        uint32_t mask;
        Bytes expected;
        std::vector<SocketKind> sockets;
    } cases[] = {
        {"monitor list",
         true,
         0x1FF,
         Cat({Header(7), {0, 9, 0, 9, 'a', 'd', 'm', 'i', 'n'}, {0, 8, 0, 7, 'N', 'e', 'w'}}),
         {SocketKind::Unicast}},
        {"discovery list",
         false,
         0x1FF,
         Cat({Header(3), {0, 9, 0, 9, 'a', 'd', 'm', 'i', 'n'}, {0, 8, 0, 7, 'N', 'e', 'w'}}),
         {SocketKind::Broadcast, SocketKind::Multicast}},
        {"mask without type 8: current password only",
         true,
         0x1FF & ~0x80u,
         Cat({Header(7), {0, 9, 0, 9, 'a', 'd', 'm', 'i', 'n'}}),
         {SocketKind::Unicast}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        state = CoreState{};
        sender.sent.clear();
        log.clear();
        Open(c.in_monitor, c.mask);
        Fill("admin", "New", "New");
        Set();
        EXPECT_TRUE(notifier.shown.empty());
        ASSERT_EQ(sender.sent.size(), c.sockets.size());
        for (std::size_t i = 0; i < c.sockets.size(); ++i) {
            EXPECT_EQ(sender.sent[i].from, c.sockets[i]);
            EXPECT_EQ(sender.sent[i].bytes, c.expected);
            EXPECT_EQ(sender.sent[i].port, 5012);
        }
        if (c.in_monitor) {
            EXPECT_EQ(sender.sent[0].address, 0x0A000005u);
        }
        EXPECT_EQ(log.front(), "rejoin");
        EXPECT_EQ(state.exchange.pending_mac, "0a1b2c3d4e5f");
        EXPECT_EQ(state.exchange.pending_ip, 0x01020304u) << "a password change carries no address";
        EXPECT_EQ(dialog->result(), QDialog::Accepted);
        EXPECT_FALSE(dialog->isVisible());
    }
}

TEST_F(ChangePasswordTest, SetWaitsForTheRejoinAndCancelMeanwhileSendsNothing) {
    sender.hold = true;
    Open();
    Fill("admin", "New", "New");
    Set();
    EXPECT_FALSE(Button("ctl1032").isEnabled());
    EXPECT_TRUE(sender.sent.empty());
    QTest::mouseClick(&Button("ctl1015"), Qt::LeftButton);
    sender.Finish();
    EXPECT_TRUE(sender.sent.empty());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

TEST_F(ChangePasswordTest, FailedUnicastSendIsShownInLowerCaseAndTheDialogCloses) {
    sender.failing = {SocketKind::Unicast};
    Open();
    Fill("admin", "New", "New");
    Set();
    EXPECT_EQ(notifier.shown,
              (std::vector<ShownMessage>{{"unicast set send error", "Error", MessageIcon::Error}}));
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(ChangePasswordTest, EnterAndEscapeNeitherSetNorClose) {
    Open();
    Fill("admin", "New", "New");
    for (QLineEdit* box : {&Box("ctl1016"), &Box("ctl1023")}) {
        box->setFocus();
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
            QTest::keyClick(box, key);
    }
    Button("ctl1032").setFocus();
    QTest::keyClick(&Button("ctl1032"), Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(sender.sent.empty());
    EXPECT_EQ(sender.rejoins, 0);
}

TEST_F(ChangePasswordTest, WhiteFaceWithBlackLabelsAndBoxes) {
    Open();
    EXPECT_EQ(dialog->palette().color(QPalette::Window), colours::kWhite);
    EXPECT_TRUE(dialog->autoFillBackground());
    for (const char* name : {"ctl1115", "ctl1116", "ctl1117"}) {
        const QLabel* label = dialog->findChild<QLabel*>(QString::fromLatin1(name));
        ASSERT_NE(label, nullptr) << name;
        EXPECT_EQ(label->palette().color(QPalette::Window), colours::kWhite) << name;
        EXPECT_EQ(label->palette().color(QPalette::WindowText), colours::kBlack) << name;
    }
    for (const char* name : {"ctl1016", "ctl1021", "ctl1023"}) {
        EXPECT_EQ(Box(name).palette().color(QPalette::Base), colours::kWhite) << name;
        EXPECT_EQ(Box(name).palette().color(QPalette::Text), colours::kBlack) << name;
    }
}
