// The device lists inside the real main window: its buttons, the
// double-click, header clicks and list clicks reach the list commands.
// The window opens the program's sockets, so this runs inside scripts/lan.

#include "app/Add_remoteIP.h"
#include "app/DeviceLists.h"
#include "app/switchyardDlg.h"
#include "protocol/wire/Ipv4Text.h"
#include "support/FakeNotifier.h"

#include <QApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace kestrel;

namespace {

using Texts = std::vector<std::string>;

DeviceRecord Agent(const std::string& mac, const std::string& ip) {
    DeviceRecord r = ZeroRecord();
    SetFieldText(r.mac_text, mac);
    SetFieldText(r.ip_text, ip);
    r.ip = ParseIpv4(ip).value_or(0);
    r.protocol_version = 2;
    r.sub_version = 1;
    r.interface_version = 3;
    r.dhcp_state = kDhcpEnabled;
    r.group_interval = -1;
    r.status_image = kImageNone;
    return r;
}

class ListsWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(cfg_.isValid());
        qputenv("KESTREL_CFG_DIR", cfg_.path().toLocal8Bit());
        window_ = std::make_unique<CSwitchyardDlg>(notifier_);
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        notifier_.shown.clear(); // whatever start-up had to say
    }

    DeviceTables& tables() { return window_->tables(); }
    QTreeWidget& discovery() { return window_->discoveryList(); }
    QTreeWidget& monitor() { return window_->monitorList(); }
    QPushButton& button(const char* name) {
        return *window_->findChild<QPushButton*>(QString::fromLatin1(name));
    }

    void Discovered(DeviceRecord r) {
        r.row_state = kRowNew;
        ASSERT_TRUE(tables().discovery.Append(r));
        window_->lists().RefreshDiscoveryRow(tables().discovery.count() - 1);
    }
    void Monitored(DeviceRecord r) {
        r.row_state = kRowNew;
        ASSERT_TRUE(tables().monitor.Append(r));
        window_->lists().RefreshMonitorRow(tables().monitor.count() - 1);
    }
    static Texts Column(QTreeWidget& list, int column) {
        Texts texts;
        for (int row = 0; row < list.topLevelItemCount(); ++row)
            texts.push_back(list.topLevelItem(row)->text(column).toStdString());
        return texts;
    }
    static QPoint RowPoint(QTreeWidget& list, int row) {
        return list.visualItemRect(list.topLevelItem(row)).center();
    }
    static void ClickRow(QTreeWidget& list, int row, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mouseClick(list.viewport(), Qt::LeftButton, modifiers, RowPoint(list, row));
    }
    static void ClickHeader(QTreeWidget& list, int column) {
        QHeaderView* header = list.header();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }

    QTemporaryDir cfg_;
    FakeNotifier notifier_;
    std::unique_ptr<CSwitchyardDlg> window_;
};

} // namespace

TEST_F(ListsWindowTest, AddToMonitorListButtonAndDoubleClickMoveRows) {
    Discovered(Agent("001122330001", "198.18.1.1"));
    Discovered(Agent("001122330002", "198.18.1.2"));
    Discovered(Agent("001122330003", "198.18.1.3"));
    ClickRow(discovery(), 0);
    ClickRow(discovery(), 2, Qt::ControlModifier);

    QTest::mouseClick(&button("ctl1002"), Qt::LeftButton);
    EXPECT_EQ(Column(monitor(), 1), Texts({"198.18.1.1", "198.18.1.3"}));
    EXPECT_EQ(Column(discovery(), 1), Texts({"198.18.1.2"}));

    const QPoint at = RowPoint(discovery(), 0);
    QTest::mouseClick(discovery().viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(discovery().viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(Column(monitor(), 1), Texts({"198.18.1.1", "198.18.1.3", "198.18.1.2"}));
    EXPECT_EQ(tables().discovery.count(), 0);
    EXPECT_TRUE(notifier_.shown.empty());
}

TEST_F(ListsWindowTest, AddItemButtonRunsTheRemoteIpDialog) {
    bool opened = false;
    QTimer::singleShot(50, [&opened] {
        auto* dialog = qobject_cast<CAdd_remoteIP*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        opened = true;
        dialog->addressEdit().setValue(0xC6120909); // 198.18.9.9
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("ctl1")), Qt::LeftButton);
    });
    QTest::mouseClick(&button("ctl1005"), Qt::LeftButton);
    EXPECT_TRUE(opened);
    EXPECT_EQ(Column(monitor(), 1), Texts({"198.18.9.9"}));
    EXPECT_EQ(tables().monitor.count(), 1);
}

TEST_F(ListsWindowTest, DeleteItemButtonAsksAndDeletes) {
    Monitored(Agent("001122330001", "198.18.1.1"));
    Monitored(Agent("001122330002", "198.18.1.2"));
    ClickRow(monitor(), 0);
    QTest::mouseClick(&button("ctl1004"), Qt::LeftButton);
    EXPECT_EQ(notifier_.shown, std::vector<ShownMessage>({{"Are you sure to delete this item ?",
                                                           "Warning", MessageIcon::Warning}}));
    EXPECT_EQ(Column(monitor(), 1), Texts({"198.18.1.2"}));
    EXPECT_EQ(tables().monitor.count(), 1);
}

TEST_F(ListsWindowTest, HeaderAndRowClicksReachTheLists) {
    Discovered(Agent("001122330001", "198.18.1.1"));
    Discovered(Agent("001122330002", "198.18.1.2"));
    ASSERT_FALSE(button("ctl1131").isEnabled()); // disabled at start

    ClickHeader(discovery(), 1);
    EXPECT_EQ(Column(discovery(), 1), Texts({"198.18.1.2", "198.18.1.1"}));

    ClickRow(discovery(), 0);
    EXPECT_TRUE(button("ctl1131").isEnabled());
}
