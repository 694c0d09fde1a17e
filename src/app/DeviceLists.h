#pragma once
// The discovery and monitor lists of the main window: mirrors the two tables
// into the widgets, forwards the list commands (move to the monitor list,
// add by address, delete) to ListCommands, and carries the selection
// coupling, the "DHCP Refresh" button state and sorting by column.
//
// Rows and records are matched by key text, never by position: MAC text in
// column 0 of the discovery list, IP text in column 1 of the monitor list.
// Sorting reorders rows only; the tables keep their order.

#include "controls/StatusImages.h"
#include "protocol/lists/DeviceTables.h"
#include "protocol/lists/ListCommands.h"
#include "protocol/seams/Notifier.h"
#include "protocol/seams/Seams.h"
#include "protocol/set/DeviceSelection.h"
#include "protocol/wire/LocalNetwork.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <optional>
#include <vector>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class CDeviceLists : public QObject, public kestrel::ListHooks {
    Q_OBJECT
public:
    // The widgets must outlive this object; their columns are set up already.
    CDeviceLists(QTreeWidget* discovery, QTreeWidget* monitor, QPushButton* dhcp_refresh,
                 kestrel::DeviceTables& tables, kestrel::Notifier& notifier,
                 const kestrel::StatusImageList& images, QObject* parent = nullptr);

    // ListHooks
    void RefreshDiscoveryRow(int i) override;
    void RefreshMonitorRow(int i) override;
    void ClearDiscoveryRows() override;
    void RemoveDiscoveryRow(std::string_view mac_text) override;
    void RemoveMonitorRow(std::string_view ip_text, std::string_view mac_text) override;
    kestrel::SelectionMemo RememberSelection() override;
    void RestoreSelection(const kestrel::SelectionMemo& memo) override;

    // "Add to monitor list": every selected discovery row.
    void MoveToMonitorList();
    // Double-click in the discovery list: the one selected row, if exactly one.
    void MoveDoubleClicked();
    // "Add item": an agent by its address, through the Remote IP dialog.
    void AddItem();
    // "Delete item": the selected monitor rows, after one question.
    void DeleteItem();

    // What the set dialogs and the firmware upgrade check before they open.
    enum class List { Discovery, Monitor };
    struct SelectedAgent {
        int discovery_rows = 0; // selected rows in each list
        int monitor_rows = 0;
        // The list meant: the discovery list when it has a selection, else
        // the monitor list when it has one.
        std::optional<List> list;
        // The record of that list's first selected row, found by the row's
        // key text; none when no record has it.
        std::optional<int> index;
    };
    SelectedAgent selectedAgent() const;
    // The same, as the selection check reads it.
    kestrel::ListSelection listSelection() const;
    // The selected rows of both lists, with the record of the monitor
    // list's first selected row whatever the discovery list shows.
    kestrel::ListSelection monitorSelection() const;

    // This computer's networks, kept up to date elsewhere: a discovery row
    // tells by which card its agent is reached. Must outlive this object.
    void ShowCardsOf(const std::vector<kestrel::LocalNetwork>* networks) { networks_ = networks; }

    // A header click: flips the shared direction, sorts when the column allows.
    void SortByColumn(QTreeWidget* list, int column);
    bool sortAscending() const { return ascending_; }
    int sortColumn() const { return sort_column_; }

Q_SIGNALS:
    // A double-click in the monitor list, on a row or on empty space.
    void monitorDoubleClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void MoveRows(bool double_click);
    void OnRowClicked(QTreeWidget* list);
    void InsertMonitorRow(int position, kestrel::DeviceRecord& record);
    void ShowMonitorRecord(QTreeWidgetItem& row, kestrel::DeviceRecord& record);
    QTreeWidgetItem* FindMonitorRow(const kestrel::RowKey& key) const;
    void IndexDiscoveryRows();
    void HoldDiscoveryPaint();
    void SetCardTip(QTreeWidgetItem& row, uint32_t ip);

    QTreeWidget* discovery_;
    QTreeWidget* monitor_;
    QPushButton* dhcp_refresh_;
    kestrel::DeviceTables& tables_;
    kestrel::Notifier& notifier_;
    const kestrel::StatusImageList& images_;
    kestrel::ListCommands commands_;
    // Discovery rows by their MAC text: every reply of a discovery rewrites
    // or adds one, and a walk over all rows per reply made a discovery of
    // 256 agents quadratic. Follows every removal through the model.
    QHash<QString, QTreeWidgetItem*> discovery_rows_;
    bool discovery_paint_held_ = false;
    const std::vector<kestrel::LocalNetwork>* networks_ = nullptr;
    // The network of the last card tip and its text.
    std::optional<kestrel::LocalNetwork> tip_network_;
    QString tip_text_;

    bool ascending_ = true; // shared by both lists; the first click sorts descending
    int sort_column_ = 0;
};
