#include "app/DeviceLists.h"

#include "app/Add_remoteIP.h"
#include "core/Latin1.h"
#include "protocol/lists/ListRows.h"
#include "protocol/lists/RowTexts.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using namespace kestrel;

namespace {

constexpr int kDiscoveryKeyColumn = 0; // MAC text
constexpr int kMonitorKeyColumn = 1;   // IP text
constexpr int kMonitorMacColumn = 2;
constexpr int kStatusColumn = 0;
constexpr int kDiscoveryGroupIntervalColumn = 10;
constexpr int kMonitorGroupIntervalColumn = 11;
constexpr int kStatusRole = Qt::UserRole; // status_image, for sorting
constexpr int kMonitorRowType = QTreeWidgetItem::UserType + 1;
constexpr int kDiscoveryRowType = QTreeWidgetItem::UserType + 2;
// A discovery brings up to 512 replies within milliseconds, and painting the
// list costs more than many replies: it is painted at most this often while
// rows come in.
constexpr int kDiscoveryPaintMs = 50;

// Record texts are 8-bit; Latin-1 keeps one character per byte, so comparing
// the strings compares the bytes as unsigned values.
QString Text(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// A list row; sorts by the list's sort column. The monitor list's status
// column compares the image numbers, every other column the cell texts.
class DeviceRow : public QTreeWidgetItem {
public:
    explicit DeviceRow(int type) : QTreeWidgetItem(type) {}

    bool operator<(const QTreeWidgetItem& other) const override {
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        if (type() == kMonitorRowType && column == kStatusColumn)
            return data(kStatusColumn, kStatusRole).toInt() <
                   other.data(kStatusColumn, kStatusRole).toInt();
        return text(column).compare(other.text(column), Qt::CaseSensitive) < 0;
    }

    // One tip for every cell of the row, held once rather than per column:
    // every reply of a discovery sets it.
    QVariant data(int column, int role) const override {
        if (role == Qt::ToolTipRole && !tip_.isEmpty() && column >= 0 && column < columnCount())
            return tip_;
        return QTreeWidgetItem::data(column, role);
    }
    void SetTip(const QString& tip) {
        if (tip == tip_)
            return;
        tip_ = tip;
        emitDataChanged();
    }

private:
    QString tip_;
};

QTreeWidgetItem* FindRow(const QTreeWidget& list, int column, const QString& key) {
    for (int row = 0; row < list.topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = list.topLevelItem(row);
        if (item->text(column) == key)
            return item;
    }
    return nullptr;
}

template <std::size_t N>
void SetTexts(QTreeWidgetItem& item, const std::array<std::string, N>& texts) {
    // Each agent answers twice, mostly with the same texts; an unchanged
    // cell is left alone rather than reported changed to the view.
    for (std::size_t column = 0; column < N; ++column) {
        const int c = static_cast<int>(column);
        const QLatin1StringView text(texts[column].data(),
                                     static_cast<qsizetype>(texts[column].size()));
        if (item.text(c) != text)
            item.setText(c, text);
    }
}

// A new row's texts, last column first so that its cells are made at once;
// empty texts stay unset, as SetTexts leaves them.
template <std::size_t N>
void FillTexts(QTreeWidgetItem& item, const std::array<std::string, N>& texts) {
    for (std::size_t column = N; column-- > 0;)
        if (!texts[column].empty())
            item.setText(static_cast<int>(column), Text(texts[column]));
}

void InsertRow(QTreeWidget& list, int position, std::unique_ptr<QTreeWidgetItem> item) {
    list.insertTopLevelItem(std::clamp(position, 0, list.topLevelItemCount()), item.release());
}

std::unique_ptr<QTreeWidgetItem> TakeRow(QTreeWidget& list, QTreeWidgetItem* item) {
    return std::unique_ptr<QTreeWidgetItem>(list.takeTopLevelItem(list.indexOfTopLevelItem(item)));
}

std::vector<QTreeWidgetItem*> SelectedRowsTopDown(const QTreeWidget& list) {
    std::vector<QTreeWidgetItem*> rows;
    for (int row = 0; row < list.topLevelItemCount(); ++row)
        if (list.topLevelItem(row)->isSelected())
            rows.push_back(list.topLevelItem(row));
    return rows;
}

// Asked around every reply: the selection's ranges, not a walk over all rows.
std::optional<int> FirstSelectedRow(const QTreeWidget& list) {
    std::optional<int> first;
    for (const QItemSelectionRange& range : list.selectionModel()->selection())
        if (!range.parent().isValid() && (!first || range.top() < *first))
            first = range.top();
    return first;
}

void SelectRow(QTreeWidget& list, const std::optional<int>& row) {
    if (row && *row >= 0 && *row < list.topLevelItemCount())
        list.topLevelItem(*row)->setSelected(true);
}

} // namespace

CDeviceLists::CDeviceLists(QTreeWidget* discovery, QTreeWidget* monitor, QPushButton* dhcp_refresh,
                           DeviceTables& tables, Notifier& notifier, const StatusImageList& images,
                           QObject* parent)
    : QObject(parent), discovery_(discovery), monitor_(monitor), dhcp_refresh_(dhcp_refresh),
      tables_(tables), notifier_(notifier), images_(images), commands_(tables, *this, notifier) {
    // Selecting rows in one list clears the selection of the other.
    connect(discovery_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected) {
                if (!selected.isEmpty())
                    monitor_->clearSelection();
            });
    connect(monitor_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected) {
                if (!selected.isEmpty())
                    discovery_->clearSelection();
            });

    connect(discovery_, &QTreeWidget::itemClicked, this, [this] { OnRowClicked(discovery_); });
    connect(monitor_, &QTreeWidget::itemClicked, this, [this] { OnRowClicked(monitor_); });

    for (QTreeWidget* list : {discovery_, monitor_}) {
        list->header()->setSectionsClickable(true);
        connect(list->header(), &QHeaderView::sectionClicked, this,
                [this, list](int column) { SortByColumn(list, column); });
    }

    // Also on empty space, as the double-click rule looks only at the selection.
    discovery_->viewport()->installEventFilter(this);
    monitor_->viewport()->installEventFilter(this);

    IndexDiscoveryRows();
    // One line of text and no icon in every discovery row: the layout after
    // each burst of new rows need not measure them one by one.
    discovery_->setUniformRowHeights(true);
}

void CDeviceLists::IndexDiscoveryRows() {
    QAbstractItemModel* model = discovery_->model();
    connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex& parent, int first, int last) {
                if (parent.isValid())
                    return;
                for (int row = first; row <= last; ++row) {
                    QTreeWidgetItem* item = discovery_->topLevelItem(row);
                    const auto at = discovery_rows_.constFind(item->text(kDiscoveryKeyColumn));
                    if (at != discovery_rows_.cend() && at.value() == item)
                        discovery_rows_.erase(at);
                }
            });
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { discovery_rows_.clear(); });
}

void CDeviceLists::HoldDiscoveryPaint() {
    if (discovery_paint_held_)
        return;
    discovery_paint_held_ = true;
    discovery_->setUpdatesEnabled(false);
    QTimer::singleShot(kDiscoveryPaintMs, this, [this] {
        discovery_paint_held_ = false;
        discovery_->setUpdatesEnabled(true);
    });
}

void CDeviceLists::RefreshDiscoveryRow(int i) {
    if (!tables_.discovery.InUse(i))
        return;
    // Made first: making them also stores the group interval text.
    const auto texts = DiscoveryRowTexts(tables_.discovery.records[static_cast<std::size_t>(i)]);
    const RowUpdate update = DiscoveryRowUpdate(tables_.discovery, i);
    if (update.kind == RowUpdate::Kind::Nothing)
        return;
    HoldDiscoveryPaint();
    if (update.kind == RowUpdate::Kind::Rewrite) {
        if (QTreeWidgetItem* row = discovery_rows_.value(Text(update.row.key))) {
            SetTexts(*row, texts);
            SetCardTip(*row, tables_.discovery.records[static_cast<std::size_t>(i)].ip);
            return;
        }
    }
    auto row = std::make_unique<DeviceRow>(kDiscoveryRowType);
    FillTexts(*row, texts);
    SetCardTip(*row, tables_.discovery.records[static_cast<std::size_t>(i)].ip);
    // MAC texts are unique in the discovery table, so in its rows too.
    discovery_rows_.insert(row->text(kDiscoveryKeyColumn), row.get());
    InsertRow(*discovery_, update.position, std::move(row));
}

void CDeviceLists::SetCardTip(QTreeWidgetItem& row, uint32_t ip) {
    if (!networks_)
        return;
    // Replies come from few networks: the text of the last one is kept.
    const std::optional<LocalNetwork> network = NetworkHolding(*networks_, ip);
    const bool same = network && tip_network_ && network->address == tip_network_->address &&
                      network->mask == tip_network_->mask &&
                      network->card_name == tip_network_->card_name;
    if (!same) {
        tip_network_ = network;
        tip_text_ =
            network ? QStringLiteral("Heard on ") + Latin1(DescribeNetwork(*network)) : QString();
    }
    if (row.type() == kDiscoveryRowType || row.type() == kMonitorRowType) {
        static_cast<DeviceRow&>(row).SetTip(tip_text_);
        return;
    }
    if (row.toolTip(0) == tip_text_)
        return;
    for (int column = 0; column < row.columnCount(); ++column)
        row.setToolTip(column, tip_text_);
}

QTreeWidgetItem* CDeviceLists::FindMonitorRow(const RowKey& key) const {
    QTreeWidgetItem* row = FindRow(*monitor_, kMonitorKeyColumn, Text(key.key));
    if (!row && !key.fallback.empty())
        row = FindRow(*monitor_, kMonitorMacColumn, Text(key.fallback));
    return row;
}

void CDeviceLists::RefreshMonitorRow(int i) {
    const RowUpdate update = MonitorRowUpdate(tables_.monitor, i);
    if (update.kind == RowUpdate::Kind::Nothing)
        return;
    DeviceRecord& record = tables_.monitor.records[static_cast<std::size_t>(i)];
    QTreeWidgetItem* row =
        update.kind == RowUpdate::Kind::Rewrite ? FindMonitorRow(update.row) : nullptr;
    if (!row) {
        InsertMonitorRow(update.position, record);
        return;
    }
    // The row shows the record afresh at its place and comes back
    // unselected; callers that keep the selection restore it. Rewritten in
    // place rather than removed and inserted: a trap flood refreshes rows
    // thousands of times a second.
    ShowMonitorRecord(*row, record);
    row->setSelected(false);
}

void CDeviceLists::InsertMonitorRow(int position, DeviceRecord& record) {
    auto row = std::make_unique<DeviceRow>(kMonitorRowType);
    ShowMonitorRecord(*row, record);
    InsertRow(*monitor_, position, std::move(row));
}

void CDeviceLists::ShowMonitorRecord(QTreeWidgetItem& row, DeviceRecord& record) {
    SetTexts(row, MonitorRowTexts(record));
    if (row.data(kStatusColumn, kStatusRole) == QVariant(record.status_image))
        return;
    row.setIcon(kStatusColumn, images_.Icon(record.status_image));
    row.setData(kStatusColumn, Qt::AccessibleTextRole, images_.AccessibleName(record.status_image));
    row.setData(kStatusColumn, kStatusRole, record.status_image);
}

void CDeviceLists::ClearDiscoveryRows() {
    discovery_->clear();
}

void CDeviceLists::RemoveDiscoveryRow(std::string_view mac_text) {
    for (int row = 0; row < discovery_->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = discovery_->topLevelItem(row);
        if (SameDiscoveryMac(Latin1Bytes(item->text(kDiscoveryKeyColumn)), mac_text)) {
            TakeRow(*discovery_, item);
            return;
        }
    }
}

void CDeviceLists::RemoveMonitorRow(std::string_view ip_text, std::string_view mac_text) {
    if (QTreeWidgetItem* row = FindMonitorRow(MonitorRowKey(ip_text, mac_text)))
        TakeRow(*monitor_, row);
}

SelectionMemo CDeviceLists::RememberSelection() {
    return {FirstSelectedRow(*monitor_), FirstSelectedRow(*discovery_)};
}

void CDeviceLists::RestoreSelection(const SelectionMemo& memo) {
    SelectRow(*monitor_, memo.monitor_row);
    SelectRow(*discovery_, memo.discovery_row);
}

void CDeviceLists::MoveToMonitorList() {
    MoveRows(false);
}

void CDeviceLists::MoveDoubleClicked() {
    MoveRows(true);
}

void CDeviceLists::MoveRows(bool double_click) {
    // Keys first: rows go away while the move runs.
    std::vector<std::string> macs;
    for (QTreeWidgetItem* row : SelectedRowsTopDown(*discovery_))
        macs.push_back(Latin1Bytes(row->text(kDiscoveryKeyColumn)));
    if (double_click && macs.size() != 1)
        return;
    commands_.MoveToMonitor(macs);
}

void CDeviceLists::AddItem() {
    if (!commands_.MonitorHasRoom())
        return;
    // The dialog fills a record of its own: the table changes only once the
    // address has passed every check, whatever ran while the dialog was open.
    DeviceRecord added = ZeroRecord();
    CAdd_remoteIP dialog(added, notifier_, monitor_->window());
    if (dialog.exec() == QDialog::Accepted)
        commands_.AddByAddress(added);
}

void CDeviceLists::DeleteItem() {
    // Keys, not rows: replies that arrive while the question is open
    // rebuild rows, and the rows collected before it would be gone.
    std::vector<RowKey> keys;
    for (QTreeWidgetItem* row : SelectedRowsTopDown(*monitor_))
        keys.push_back(MonitorRowKey(Latin1Bytes(row->text(kMonitorKeyColumn)),
                                     Latin1Bytes(row->text(kMonitorMacColumn))));
    commands_.DeleteMonitored(keys);
}

CDeviceLists::SelectedAgent CDeviceLists::selectedAgent() const {
    const std::vector<QTreeWidgetItem*> in_discovery = SelectedRowsTopDown(*discovery_);
    const std::vector<QTreeWidgetItem*> in_monitor = SelectedRowsTopDown(*monitor_);
    SelectedAgent agent;
    agent.discovery_rows = static_cast<int>(in_discovery.size());
    agent.monitor_rows = static_cast<int>(in_monitor.size());
    FindResult r;
    if (!in_discovery.empty()) {
        agent.list = List::Discovery;
        const QTreeWidgetItem& row = *in_discovery.front();
        r = FindRecordOfRow(tables_.discovery,
                            DiscoveryRowKey(Latin1Bytes(row.text(kDiscoveryKeyColumn))));
    } else if (!in_monitor.empty()) {
        agent.list = List::Monitor;
        const QTreeWidgetItem& row = *in_monitor.front();
        r = FindRecordOfRow(tables_.monitor,
                            MonitorRowKey(Latin1Bytes(row.text(kMonitorKeyColumn)),
                                          Latin1Bytes(row.text(kMonitorMacColumn))));
    }
    if (r.found)
        agent.index = r.index;
    return agent;
}

ListSelection CDeviceLists::listSelection() const {
    const SelectedAgent agent = selectedAgent();
    return {agent.discovery_rows, agent.monitor_rows, agent.index};
}

ListSelection CDeviceLists::monitorSelection() const {
    const std::vector<QTreeWidgetItem*> rows = SelectedRowsTopDown(*monitor_);
    ListSelection selection{.discovery_rows =
                                static_cast<int>(SelectedRowsTopDown(*discovery_).size()),
                            .monitor_rows = static_cast<int>(rows.size()),
                            .record_index = std::nullopt};
    if (!rows.empty()) {
        const QTreeWidgetItem& row = *rows.front();
        const FindResult r = FindRecordOfRow(
            tables_.monitor, MonitorRowKey(Latin1Bytes(row.text(kMonitorKeyColumn)),
                                           Latin1Bytes(row.text(kMonitorMacColumn))));
        if (r.found)
            selection.record_index = r.index;
    }
    return selection;
}

void CDeviceLists::OnRowClicked(QTreeWidget* list) {
    const QList<QTreeWidgetItem*> selected = list->selectedItems();
    if (selected.size() != 1)
        return;
    const QTreeWidgetItem& row = *selected.front();
    const bool in_discovery = list == discovery_;
    const DeviceTable& table = in_discovery ? tables_.discovery : tables_.monitor;
    const std::string key =
        Latin1Bytes(row.text(in_discovery ? kDiscoveryKeyColumn : kMonitorKeyColumn));
    const FindResult r = in_discovery ? FindDiscoveryRecord(table, key, KeyKind::Mac)
                                      : FindMonitorRecord(table, key, KeyKind::Ip);
    bool enable = false;
    if (r.found) {
        const DeviceRecord& record = table.records[r.index];
        enable = record.dhcp_state == kDhcpEnabled && record.interface_version >= 3;
    }
    dhcp_refresh_->setEnabled(enable);
}

void CDeviceLists::SortByColumn(QTreeWidget* list, int column) {
    ascending_ = !ascending_;
    const int group_interval =
        list == discovery_ ? kDiscoveryGroupIntervalColumn : kMonitorGroupIntervalColumn;
    if (column < 0 || column >= group_interval)
        return;
    sort_column_ = column;
    list->sortItems(column, ascending_ ? Qt::AscendingOrder : Qt::DescendingOrder);
}

bool CDeviceLists::eventFilter(QObject* watched, QEvent* event) {
    if (watched == discovery_->viewport() && event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        MoveDoubleClicked();
        // Handled: the view would otherwise treat it as a press on whatever
        // row now stands under the pointer.
        return true;
    }
    if (watched == monitor_->viewport() && event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        // The first click of the pair has already chosen the row.
        Q_EMIT monitorDoubleClicked();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
