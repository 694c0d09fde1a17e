#include "controls/ReportList.h"

#include <QHeaderView>

namespace kestrel {

void ColumnAlignmentDelegate::initStyleOption(QStyleOptionViewItem* option,
                                              const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.column() < 0 || static_cast<std::size_t>(index.column()) >= alignments_.size())
        return;
    const Qt::Alignment alignment = alignments_[static_cast<std::size_t>(index.column())];
    option->displayAlignment = alignment;
    // An image-only cell (the status column) sits in the middle as well.
    if (alignment & Qt::AlignHCenter)
        option->decorationAlignment = Qt::AlignCenter;
}

ReportList::ReportList(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setAllColumnsShowFocus(true);
    setSortingEnabled(false); // the lists sort by their own rules
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIconSize(QSize(16, 16));
    header()->setSectionsClickable(true);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    setItemDelegate(&delegate_);

    // Keep the selection as plain to see as when the list has the focus.
    QPalette colours = palette();
    for (const QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
    setPalette(colours);
}

void ReportList::InsertColumns(std::span<const ColumnDef> columns) {
    setColumnCount(static_cast<int>(columns.size()));
    std::vector<Qt::Alignment> alignments;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const int column = static_cast<int>(i);
        headerItem()->setText(column, QString::fromLatin1(columns[i].title));
        headerItem()->setTextAlignment(column, columns[i].alignment);
        header()->resizeSection(column, columns[i].width);
        alignments.push_back(columns[i].alignment);
    }
    delegate_.SetAlignments(std::move(alignments));
}

} // namespace kestrel
