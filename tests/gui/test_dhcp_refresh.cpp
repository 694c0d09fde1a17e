// The DHCP Refresh dialog through its real widgets, offscreen: the password
// box, Apply as the default button, Esc and Cancel sending nothing, the
// re-join before the send, and the DHCP-refresh request with the typed
// password unchecked.

#include "HeldRejoinSender.h"
#include "app/OutcomeBoxes.h"
#include "config/ui/DHCP_Refresh.h"
#include "core/CoreEvents.h"
#include "support/CoreState.h"
#include "support/FakeNotifier.h"
#include "support/SetRequestBytes.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace kestrel;
using namespace set_bytes;

namespace {

DeviceRecord Agent(const char* mac, uint32_t ip, uint16_t interface_version) {
    DeviceRecord r = ZeroRecord();
    SetFieldText(r.mac_text, mac);
    SetFieldText(r.product_name, "P1");
    SetFieldText(r.system_name, "sys");
    SetFieldText(r.location, "loc");
    r.ip = ip;
    r.gateway = 0x0A000001;
    r.trap_ip = 0x0A000009;
    r.subnet_mask = 0xFFFFFF00;
    r.protocol_version = 2;
    r.interface_version = interface_version;
    r.dhcp_state = kDhcpEnabled;
    r.group_interval = 300;
    r.field_mask[0] = 0x2003FF;
    return r;
}

const Bytes kFields = Cat({{0, 1, 0, 6, 'P', '1'},
                           {0, 2, 0, 7, 's', 'y', 's'},
                           {0, 3, 0, 7, 'l', 'o', 'c'},
                           {0, 4, 0, 8, 0, 0, 0, 0},
                           {0, 6, 0, 8, 0, 0, 0, 0},
                           {0, 7, 0, 8, 10, 0, 0, 9},
                           {0, 5, 0, 8, 0, 0, 0, 0}});
const Bytes kGroup300 = {0x00, 0x16, 0x00, 0x08, 0x00, 0x00, 0x01, 0x2c};

class DhcpRefreshTest : public ::testing::Test {
protected:
    // The window's words for a failed send, as it connects them.
    DhcpRefreshTest() { boxes.Listen(events); }

    void Open(bool in_monitor = true, uint16_t interface_version = 3) {
        state.settings.utility_id = 0x4B455354;
        state.settings.base_port = 5010;
        state.settings.multicast_group = "239.255.255.250";
        state.exchange.sequence = 0x0102;
        DeviceTable& table = in_monitor ? state.tables.monitor : state.tables.discovery;
        ASSERT_TRUE(table.Append(Agent("020000000001", 0x0A000001, 3)));
        ASSERT_TRUE(table.Append(Agent("0a1b2c3d4e5f", 0x0A000005, interface_version)));
        const ChosenAgent agent{in_monitor ? AgentList::Monitor : AgentList::Discovery, 1};
        dialog = std::make_unique<CDHCP_Refresh>(
            SetLink{state.settings, state.exchange, state.tables, sender}, events, agent);
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    }
    QLineEdit& Box() { return *dialog->findChild<QLineEdit*>(QStringLiteral("ctl1132")); }
    QPushButton& Button(const char* name) {
        return *dialog->findChild<QPushButton*>(QString::fromLatin1(name));
    }

    CoreState state;
    std::vector<std::string> log;
    HeldRejoinSender sender{state.tables, log};
    FakeNotifier notifier;
    CoreEvents events;
    OutcomeBoxes boxes{notifier, notifier};
    std::unique_ptr<CDHCP_Refresh> dialog;
};

} // namespace

TEST_F(DhcpRefreshTest, PasswordBoxApplyAsDefaultAndCancel) {
    Open();
    EXPECT_EQ(dialog->windowTitle().toStdString(), "DHCP Refresh");
    EXPECT_TRUE(Box().text().isEmpty());
    EXPECT_EQ(Box().echoMode(), QLineEdit::Password);
    EXPECT_EQ(Box().accessibleName().toStdString(), "Password");
    QTest::keyClicks(&Box(), QStringLiteral("123456789012345678901234"));
    EXPECT_EQ(Box().text().size(), 20);
    EXPECT_EQ(Button("ctl1133").text().toStdString(), "Apply");
    EXPECT_TRUE(Button("ctl1133").isDefault());
    EXPECT_EQ(Button("ctl2").text().toStdString(), "Cancel");
}

TEST_F(DhcpRefreshTest, ApplyRejoinsThenSendsTheRefreshWithTheTypedPassword) {
    const struct {
        const char* name;
        bool in_monitor;
        uint16_t interface_version;
        const char* password;
        bool by_enter;
        Bytes expected;
    } cases[] = {
        {"monitor list", true, 3, "pw", false,
         Cat({Header(7, true), {0, 9, 0, 6, 'p', 'w'}, kFields, {0, 10, 0, 6, 0, 1}, kGroup300})},
        {"empty password, by Enter", true, 3, "", true,
         Cat({Header(7, true), {0, 9, 0, 4}, kFields, {0, 10, 0, 6, 0, 1}, kGroup300})},
        {"interface version 1: one-byte DHCP", false, 1, "pw", false,
         Cat({Header(3, true), {0, 9, 0, 6, 'p', 'w'}, kFields, {0, 10, 0, 5, 1}, kGroup300})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        state = CoreState{};
        sender.sent.clear();
        log.clear();
        Open(c.in_monitor, c.interface_version);
        QTest::keyClicks(&Box(), QString::fromLatin1(c.password));
        if (c.by_enter)
            QTest::keyClick(&Box(), Qt::Key_Return);
        else
            QTest::mouseClick(&Button("ctl1133"), Qt::LeftButton);
        EXPECT_TRUE(notifier.shown.empty());
        ASSERT_FALSE(sender.sent.empty());
        EXPECT_EQ(log.front(), "rejoin");
        for (const SentDatagram& d : sender.sent)
            EXPECT_EQ(d.bytes, c.expected);
        EXPECT_EQ(sender.sent.size(), c.in_monitor ? 1u : 2u);
        EXPECT_EQ(state.exchange.pending_ip, 0x0A000005u);
        EXPECT_FALSE(dialog->isVisible());
    }
}

TEST_F(DhcpRefreshTest, CancelEscAndCancelDuringTheRejoinSendNothing) {
    for (int way = 0; way < 3; ++way) {
        SCOPED_TRACE(way);
        state = CoreState{};
        sender.hold = way == 2;
        Open();
        QTest::keyClicks(&Box(), QStringLiteral("pw"));
        if (way == 2)
            QTest::mouseClick(&Button("ctl1133"), Qt::LeftButton);
        if (way == 1)
            QTest::keyClick(&Box(), Qt::Key_Escape);
        else
            QTest::mouseClick(&Button("ctl2"), Qt::LeftButton);
        sender.Finish();
        EXPECT_EQ(dialog->result(), QDialog::Rejected);
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_TRUE(sender.sent.empty());
    }
}
