#include "monitor/ui/Trap_Info.h"

#include "controls/ColourScheme.h"
#include "controls/DialogUnits.h"
#include "core/Latin1.h"
#include "protocol/wire/DeviceRecord.h"

#include <QHeaderView>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

using namespace kestrel;

namespace {

constexpr Qt::Alignment kLeft = Qt::AlignLeft | Qt::AlignVCenter;
constexpr std::array<ColumnDef, 5> kColumns = {{
    {"S", 20, kLeft},
    {"Time", 100, kLeft},
    {"IP", 100, kLeft},
    {"Event", 800, kLeft},
    {" ", 30, kLeft},
}};

constexpr int kSerialRole = Qt::UserRole;
constexpr int kImageRole = Qt::UserRole + 1;

int ImageOf(const QTreeWidgetItem* row) {
    return row->data(0, kImageRole).toInt();
}

} // namespace

CTrap_Info::CTrap_Info(TrapTable& table, const StatusImageList& images, int& sort_direction,
                       QWidget* parent)
    : QDialog(parent), table_(table), images_(images), sort_direction_(sort_direction), list_(this),
      ok_(this), clear_all_(this) {
    setObjectName(QStringLiteral("trapInfoDialog"));
    setWindowTitle(QStringLiteral("Trap information"));
    setFont(QFont(QStringLiteral("Arial"), 8));

    QPalette face = palette();
    face.setColor(QPalette::Window, colours::kPanelBlue);
    setPalette(face);
    setAutoFillBackground(true);

    const DialogUnits du(font());
    setFixedSize(du.ToPixels(407, 187));

    list_.setObjectName(QStringLiteral("ctl1014"));
    list_.setAccessibleName(QStringLiteral("Trap List"));
    PlaceAt(list_, du, 16, 15, 375, 142);
    list_.InsertColumns(kColumns);

    ok_.setObjectName(QStringLiteral("ctl1"));
    ok_.setText(QStringLiteral("OK"));
    ok_.setDefault(true);
    PlaceAt(ok_, du, 318, 168, 72, 12);

    clear_all_.setObjectName(QStringLiteral("ctl1015"));
    clear_all_.setText(QStringLiteral("Clear all"));
    clear_all_.setAutoDefault(false);
    PlaceAt(clear_all_, du, 16, 170, 72, 10);

    connect(&ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(&clear_all_, &QPushButton::clicked, this, &CTrap_Info::OnClearAll);
    connect(&list_, &QTreeWidget::itemClicked, this, [this] { OnListClick(); });
    connect(list_.header(), &QHeaderView::sectionClicked, this, &CTrap_Info::OnColumnClick);

    InsertRows();
}

void CTrap_Info::InsertRows() {
    std::vector<QTreeWidgetItem*> rows;
    for (int i = 0; i < table_.size(); ++i) {
        // A trap with an empty text is a trap too: it and the later ones stay listed.
        const TrapEntry& entry = table_.Entry(i);
        auto row = std::make_unique<QTreeWidgetItem>();
        row->setText(1, Latin1(FieldText(entry.time_text)));
        row->setText(2, Latin1(FieldText(entry.ip_text)));
        row->setText(3, Latin1(FieldText(entry.event_text)));
        row->setData(0, kSerialRole, QVariant::fromValue<qulonglong>(entry.serial));
        ShowReadMark(*row, entry.read_mark);
        rows.push_back(row.release());
    }
    list_.addTopLevelItems(QList<QTreeWidgetItem*>(rows.begin(), rows.end()));
}

void CTrap_Info::ShowReadMark(QTreeWidgetItem& row, int32_t read_mark) {
    row.setIcon(0, images_.Icon(read_mark));
    row.setData(0, Qt::AccessibleTextRole, images_.AccessibleName(read_mark));
    row.setData(0, kImageRole, read_mark);
}

void CTrap_Info::OnListClick() {
    // The first selected row in list order, as the click leaves it.
    QTreeWidgetItem* first = nullptr;
    for (int i = 0; i < list_.topLevelItemCount() && !first; ++i) {
        if (list_.topLevelItem(i)->isSelected())
            first = list_.topLevelItem(i);
    }
    if (!first)
        return;
    if (TrapEntry* entry = table_.BySerial(first->data(0, kSerialRole).toULongLong()))
        entry->read_mark = kTrapRead;
    ShowReadMark(*first, kTrapRead);
    first->setSelected(true);
}

void CTrap_Info::OnColumnClick(int column) {
    // The direction turns first, also for a column that sorts nothing.
    sort_direction_ = sort_direction_ == 1 ? 0 : 1;
    if (column < 0 || column > 3)
        return;
    const bool ascending = sort_direction_ == 1;
    QList<QTreeWidgetItem*> rows = list_.invisibleRootItem()->takeChildren();
    std::stable_sort(rows.begin(), rows.end(), [&](QTreeWidgetItem* a, QTreeWidgetItem* b) {
        if (!ascending)
            std::swap(a, b);
        if (column == 0)
            return ImageOf(a) < ImageOf(b);
        // Latin-1 code units are the bytes, so this compares byte-wise.
        return a->text(column).compare(b->text(column), Qt::CaseSensitive) < 0;
    });
    list_.addTopLevelItems(rows);
}

void CTrap_Info::OnClearAll() {
    list_.clear();
    table_.Clear();
}
