#pragma once
// A list in report view: no tree decoration, full-row and extended
// selection, selection still visible without the focus, clickable header,
// and cells aligned as their column says whatever the item data holds.

#include "controls/DeviceListColumns.h"

#include <QStyledItemDelegate>
#include <QTreeWidget>

#include <span>
#include <vector>

namespace kestrel {

class ColumnAlignmentDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void SetAlignments(std::vector<Qt::Alignment> alignments) {
        alignments_ = std::move(alignments);
    }
    // Public so that the drawing options of a cell can be checked.
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    std::vector<Qt::Alignment> alignments_;
};

class ReportList : public QTreeWidget {
    Q_OBJECT
public:
    explicit ReportList(QWidget* parent = nullptr);

    // Inserts the columns: titles, widths and header and cell alignment.
    void InsertColumns(std::span<const ColumnDef> columns);
    const ColumnAlignmentDelegate& alignmentDelegate() const { return delegate_; }

private:
    ColumnAlignmentDelegate delegate_;
};

} // namespace kestrel
