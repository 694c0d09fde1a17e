// "Add item" and the Remote IP dialog through the real widgets: typing into
// the octet boxes, Apply and Cancel, the address rules and the new row.

#include "ListsFixture.h"
#include "app/Add_remoteIP.h"
#include "controls/IpAddressEdit.h"

#include <QLabel>
#include <QPushButton>

using namespace kestrel;

namespace {

const ShownMessage kIllegal{"IP address is illegal", " Error", MessageIcon::Error};
const ShownMessage kDuplicate{"Duplicate IP in monitor list or discovery list", "Error",
                              MessageIcon::Error};

void TypeAddress(IpAddressEdit& edit, const QString& address) {
    if (address.isEmpty())
        return;
    const QStringList octets = address.split(QLatin1Char('.'));
    for (int i = 0; i < octets.size() && i < IpAddressEdit::kOctets; ++i)
        QTest::keyClicks(&edit.octetBox(i), octets[i]);
}

struct DialogRun {
    bool opened = false;
    bool stayed_open = false; // after Apply
};

// Opens "Add item", types the address, presses Apply; when the dialog stays
// open it is closed with Cancel.
DialogRun AddByAddress(CDeviceLists& lists, const QString& address) {
    DialogRun run;
    WhenModal([&run, address](QWidget& modal) {
        auto* dialog = qobject_cast<CAdd_remoteIP*>(&modal);
        if (!dialog) {
            modal.close();
            return;
        }
        run.opened = true;
        TypeAddress(dialog->addressEdit(), address);
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("ctl1")), Qt::LeftButton);
        run.stayed_open = dialog->isVisible();
        if (run.stayed_open)
            QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("ctl2")),
                              Qt::LeftButton);
    });
    lists.AddItem();
    return run;
}

class RemoteIpTest : public ListsFixture {};

} // namespace

TEST_F(RemoteIpTest, DialogAcceptsOnlyHostAddresses) {
    const struct {
        const char* typed;
        bool accepted;
    } cases[] = {
        {"127.0.0.1", false},  {"10.0.0.0", false},      {"10.255.255.255", false},
        {"172.16.0.0", false}, {"192.168.1.255", false}, {"224.0.0.1", false},
        {"", false},           {"0.0.0.0", false},       {"10.0.0.1", true},
        {"192.168.1.1", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        notifier_.shown.clear();
        const int rows_before = monitor().topLevelItemCount();

        const DialogRun run = AddByAddress(*lists_, QString::fromLatin1(c.typed));

        ASSERT_TRUE(run.opened);
        EXPECT_EQ(run.stayed_open, !c.accepted);
        if (c.accepted) {
            EXPECT_TRUE(notifier_.shown.empty());
            EXPECT_EQ(monitor().topLevelItemCount(), rows_before + 1);
            EXPECT_EQ(Column(monitor(), 1).back(), c.typed);
        } else {
            EXPECT_EQ(notifier_.shown, std::vector<ShownMessage>{kIllegal});
            EXPECT_EQ(monitor().topLevelItemCount(), rows_before);
            EXPECT_EQ(tables_.monitor.count(), rows_before);
            // The record the dialog would fill stays untouched.
            EXPECT_EQ(tables_.monitor.records[rows_before].ip, 0u);
        }
    }
    EXPECT_EQ(Ips(tables_.monitor), Texts({"10.0.0.1", "192.168.1.1"}));
}

TEST_F(RemoteIpTest, AddedAgentShowsOnlyItsAddress) {
    Monitored(Agent("001122330001", "10.0.0.5"));
    const DialogRun run = AddByAddress(*lists_, QStringLiteral("192.168.7.20"));
    ASSERT_TRUE(run.opened);
    ASSERT_FALSE(run.stayed_open);

    ASSERT_EQ(tables_.monitor.count(), 2);
    const DeviceRecord& r = tables_.monitor.records[1];
    EXPECT_EQ(FieldText(r.ip_text), "192.168.7.20");
    EXPECT_EQ(r.ip, 0xC0A80714u);
    EXPECT_EQ(r.utility_id, kBuiltInUtilityId);
    EXPECT_EQ(r.row_state, kRowNew);
    EXPECT_EQ(r.status_image, kImageNone);
    EXPECT_EQ(FieldText(r.mac_text), "");
    EXPECT_EQ(r.dhcp_state, 0);
    EXPECT_EQ(r.group_interval, 0);

    QTreeWidgetItem* row = monitor().topLevelItem(1);
    EXPECT_EQ(S(row->text(1)), "192.168.7.20");
    EXPECT_EQ(S(row->text(2)), "");
    EXPECT_EQ(S(row->text(3)), "0.000.000");
    EXPECT_EQ(S(row->text(4)), "");
    EXPECT_EQ(S(row->text(6)), "disable");
    EXPECT_EQ(S(row->text(11)), "disable");
    EXPECT_TRUE(row->icon(0).isNull());
    EXPECT_EQ(S(row->data(0, Qt::AccessibleTextRole).toString()), "");
}

TEST_F(RemoteIpTest, DuplicateAddressIsRefusedAfterTheDialog) {
    Monitored(Agent("001122330001", "10.0.0.5"));
    Monitored(Agent("001122330002", "10.0.0.6"));
    Discovered(Agent("001122330003", "10.0.0.7"));

    for (const char* address : {"10.0.0.6", "10.0.0.7"}) {
        SCOPED_TRACE(address);
        notifier_.shown.clear();
        const DialogRun run = AddByAddress(*lists_, QString::fromLatin1(address));
        ASSERT_TRUE(run.opened);
        EXPECT_FALSE(run.stayed_open);
        EXPECT_EQ(notifier_.shown, std::vector<ShownMessage>{kDuplicate});
        EXPECT_EQ(Column(monitor(), 1), Texts({"10.0.0.5", "10.0.0.6"}));
        EXPECT_EQ(Ips(tables_.monitor), Texts({"10.0.0.5", "10.0.0.6"}));
        EXPECT_EQ(tables_.monitor.records[2].ip, 0u); // cleared again
        EXPECT_EQ(tables_.monitor.records[2].utility_id, 0u);
    }
}

TEST_F(RemoteIpTest, FullMonitorListRefusesWithoutTheDialog) {
    for (int i = 0; i < kTableCapacity; ++i)
        Monitored(Agent("", "10.2." + std::to_string(i / 200) + "." + std::to_string(i % 200 + 1)));
    bool opened = false;
    QTimer::singleShot(0, [&opened] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            opened = true;
            modal->close();
        }
    });

    lists_->AddItem();
    QTest::qWait(20);

    EXPECT_FALSE(opened);
    EXPECT_EQ(notifier_.shown, std::vector<ShownMessage>({{"out of 256 device in monitor list",
                                                           "Error", MessageIcon::Error}}));
    EXPECT_EQ(tables_.monitor.count(), kTableCapacity);
}

TEST_F(RemoteIpTest, CancelChangesNothing) {
    DialogRun run;
    WhenModal([&run](QWidget& modal) {
        auto* dialog = qobject_cast<CAdd_remoteIP*>(&modal);
        ASSERT_NE(dialog, nullptr);
        run.opened = true;
        TypeAddress(dialog->addressEdit(), QStringLiteral("10.0.0.1"));
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("ctl2")), Qt::LeftButton);
    });
    lists_->AddItem();
    EXPECT_TRUE(run.opened);
    EXPECT_EQ(tables_.monitor.count(), 0);
    EXPECT_EQ(tables_.monitor.records[0].ip, 0u);
    EXPECT_EQ(monitor().topLevelItemCount(), 0);
    EXPECT_TRUE(notifier_.shown.empty());
}

TEST(RemoteIpDialog, FormAndLabels) {
    DeviceRecord record = ZeroRecord();
    FakeNotifier notifier;
    CAdd_remoteIP dialog(record, notifier);
    EXPECT_EQ(S(dialog.windowTitle()), "Remote IP");
    const DialogUnits du(dialog.font());
    EXPECT_EQ(dialog.size(), du.ToPixels(232, 59));
    EXPECT_EQ(dialog.palette().color(QPalette::Window), QColor(255, 255, 255));

    auto* label = dialog.findChild<QLabel*>(QStringLiteral("ctl1115"));
    auto* edit = dialog.findChild<IpAddressEdit*>(QStringLiteral("ctl1010"));
    auto* apply = dialog.findChild<QPushButton*>(QStringLiteral("ctl1"));
    auto* cancel = dialog.findChild<QPushButton*>(QStringLiteral("ctl2"));
    ASSERT_TRUE(label && edit && apply && cancel);
    EXPECT_EQ(S(label->text()), "IP Address");
    EXPECT_EQ(label->buddy(), edit);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 0, 0));
    EXPECT_EQ(label->geometry(), du.ToPixels(7, 15, 66, 10));
    EXPECT_EQ(edit->geometry(), du.ToPixels(78, 13, 128, 12));
    EXPECT_EQ(apply->geometry(), du.ToPixels(19, 40, 72, 12));
    EXPECT_EQ(cancel->geometry(), du.ToPixels(136, 40, 72, 12));
    EXPECT_EQ(S(apply->text()), "Apply");
    EXPECT_TRUE(apply->isDefault());
    EXPECT_EQ(S(cancel->text()), "Cancel");
    EXPECT_TRUE(edit->isBlank());
    EXPECT_EQ(S(edit->accessibleName()), "IP Address");
    EXPECT_EQ(S(edit->octetBox(2).accessibleName()), "IP Address octet 3");
}

TEST(RemoteIpDialog, EnterPressesApply) {
    DeviceRecord record = ZeroRecord();
    FakeNotifier notifier;
    CAdd_remoteIP dialog(record, notifier);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    TypeAddress(dialog.addressEdit(), QStringLiteral("10.1.1.1"));
    QTest::keyClick(&dialog.addressEdit().octetBox(3), Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(FieldText(record.ip_text), "10.1.1.1");
}

TEST(IpAddressEditTest, ValueFromBoxes) {
    IpAddressEdit edit;
    EXPECT_TRUE(edit.isBlank());
    EXPECT_EQ(edit.value(), 0u);

    QTest::keyClicks(&edit.octetBox(0), QStringLiteral("192"));
    QTest::keyClicks(&edit.octetBox(3), QStringLiteral("7"));
    EXPECT_FALSE(edit.isBlank());
    EXPECT_EQ(edit.value(), 0xC0000007u); // empty boxes count as 0

    edit.setValue(0x0AFF0001);
    EXPECT_EQ(S(edit.octetBox(0).text()), "10");
    EXPECT_EQ(S(edit.octetBox(1).text()), "255");
    EXPECT_EQ(S(edit.octetBox(2).text()), "0");
    EXPECT_EQ(S(edit.octetBox(3).text()), "1");
    EXPECT_EQ(edit.value(), 0x0AFF0001u);

    edit.clear();
    EXPECT_TRUE(edit.isBlank());
}

TEST(IpAddressEditTest, BoxesTakeOnlyOctets) {
    const struct {
        const char* typed;
        const char* kept;
    } cases[] = {{"255", "255"}, {"256", "25"},   {"300", "30"}, {"1a2", "12"},
                 {"-1", "1"},    {"1234", "123"}, {"007", "0"}};
    for (const auto& c : cases) {
        IpAddressEdit edit;
        QTest::keyClicks(&edit.octetBox(1), QString::fromLatin1(c.typed));
        EXPECT_EQ(S(edit.octetBox(1).text()), c.kept) << c.typed;
    }
}

TEST(IpAddressEditTest, TypingMovesThroughTheBoxes) {
    IpAddressEdit edit;
    edit.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&edit));
    edit.activateWindow();
    edit.octetBox(0).setFocus();
    // Type as an operator does, always into the box that has the focus.
    for (const QChar ch : QStringLiteral("10.1.200.4"))
        QTest::keyClick(QApplication::focusWidget(), ch.toLatin1());
    EXPECT_EQ(edit.value(), 0x0A01C804u);
    EXPECT_EQ(QApplication::focusWidget(), &edit.octetBox(3));

    // Backspace in an empty box goes back to the one before.
    edit.clear();
    edit.octetBox(1).setFocus();
    QTest::keyClick(&edit.octetBox(1), Qt::Key_Backspace);
    EXPECT_EQ(QApplication::focusWidget(), &edit.octetBox(0));
}
