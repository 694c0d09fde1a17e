#pragma once
// The real lists and buttons of the main form with CDeviceLists on top of a
// fresh pair of tables and a recording notifier; no sockets anywhere.

#include "app/DeviceLists.h"
#include "app/MainForm.h"
#include "controls/DeviceListColumns.h"
#include "controls/StatusImages.h"
#include "protocol/lists/DeviceTables.h"
#include "protocol/wire/Ipv4Text.h"
#include "support/FakeNotifier.h"

#include <QApplication>
#include <QHeaderView>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using Texts = std::vector<std::string>;

// Cell texts hold the record's bytes one character each.
inline std::string S(const QString& text) {
    return text.toLatin1().toStdString();
}

inline kestrel::DeviceRecord Agent(const std::string& mac, const std::string& ip) {
    kestrel::DeviceRecord r = kestrel::ZeroRecord();
    kestrel::SetFieldText(r.mac_text, mac);
    kestrel::SetFieldText(r.ip_text, ip);
    r.ip = kestrel::ParseIpv4(ip).value_or(0);
    r.protocol_version = 2;
    r.sub_version = 1;
    r.interface_version = 2;
    r.dhcp_state = kestrel::kDhcpNotReported;
    r.group_interval = -1;
    r.status_image = kestrel::kImageNone;
    return r;
}

// Runs action on the first modal dialog that opens, from the event loop
// of whatever opened it. Gives up after about five seconds.
inline void WhenModal(std::function<void(QWidget&)> action, int tries = 500) {
    QTimer::singleShot(10, [action = std::move(action), tries] {
        if (QWidget* modal = QApplication::activeModalWidget())
            action(*modal);
        else if (tries > 0)
            WhenModal(action, tries - 1);
    });
}

class ListsFixture : public ::testing::Test {
protected:
    ListsFixture() : form_(nullptr) {
        discovery().InsertColumns(kestrel::DiscoveryColumns());
        monitor().InsertColumns(kestrel::MonitorColumns());
        dhcp().setEnabled(false);
        lists_ = std::make_unique<CDeviceLists>(&discovery(), &monitor(), &dhcp(), tables_,
                                                notifier_, images_);
        form_.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form_));
    }

    kestrel::ReportList& discovery() { return form_.discoveryList(); }
    kestrel::ReportList& monitor() { return form_.monitorList(); }
    QPushButton& dhcp() { return *form_.button(kestrel::IDC_DHCP_REFRESH); }

    // As the dispatcher stores a new agent: count first, then the row.
    void Discovered(kestrel::DeviceRecord r) {
        r.row_state = kestrel::kRowNew;
        ASSERT_TRUE(tables_.discovery.Append(r));
        lists_->RefreshDiscoveryRow(tables_.discovery.count() - 1);
    }
    void Monitored(kestrel::DeviceRecord r) {
        r.row_state = kestrel::kRowNew;
        ASSERT_TRUE(tables_.monitor.Append(r));
        lists_->RefreshMonitorRow(tables_.monitor.count() - 1);
    }

    static Texts Column(QTreeWidget& list, int column) {
        Texts texts;
        for (int row = 0; row < list.topLevelItemCount(); ++row)
            texts.push_back(S(list.topLevelItem(row)->text(column)));
        return texts;
    }
    static Texts Ips(const kestrel::DeviceTable& table) {
        Texts texts;
        for (const kestrel::DeviceRecord& r : table.InUse())
            texts.emplace_back(kestrel::FieldText(r.ip_text));
        return texts;
    }
    static QList<int> SelectedRows(QTreeWidget& list) {
        QList<int> rows;
        for (int row = 0; row < list.topLevelItemCount(); ++row)
            if (list.topLevelItem(row)->isSelected())
                rows << row;
        return rows;
    }

    static QPoint RowPoint(QTreeWidget& list, int row) {
        QTreeWidgetItem* item = list.topLevelItem(row);
        list.scrollToItem(item);
        return list.visualItemRect(item).center();
    }
    static void ClickRow(QTreeWidget& list, int row, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mouseClick(list.viewport(), Qt::LeftButton, modifiers, RowPoint(list, row));
    }
    static void DoubleClickRow(QTreeWidget& list, int row, Qt::KeyboardModifiers modifiers = {}) {
        const QPoint at = RowPoint(list, row);
        QTest::mouseClick(list.viewport(), Qt::LeftButton, modifiers, at);
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, modifiers, at);
    }
    static void ClickHeader(QTreeWidget& list, int column) {
        QHeaderView* header = list.header();
        header->setOffsetToSectionPosition(column);
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }

    kestrel::DeviceTables tables_;
    FakeNotifier notifier_;
    kestrel::StatusImageList images_;
    kestrel::MainForm form_;
    std::unique_ptr<CDeviceLists> lists_;
};
