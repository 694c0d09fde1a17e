#pragma once
// "Trap information": the stored traps, oldest first, with their read marks.
// A click marks a trap read, a column click sorts, "Clear all" empties the
// table. The table is read once, when the dialog opens. Controls carry their
// IDs as object names: "ctl1014" list, "ctl1" OK, "ctl1015" Clear all.

#include "controls/ReportList.h"
#include "controls/StatusImages.h"
#include "monitor/TrapTable.h"

#include <QDialog>
#include <QPushButton>

class CTrap_Info : public QDialog {
    Q_OBJECT
public:
    // sort_direction (1 ascending, else descending) outlives the dialog, so
    // the next opening goes on from it.
    CTrap_Info(kestrel::TrapTable& table, const kestrel::StatusImageList& images,
               int& sort_direction, QWidget* parent = nullptr);

    kestrel::ReportList& trapList() { return list_; }

    void OnListClick();
    void OnColumnClick(int column);
    void OnClearAll();

private:
    void InsertRows();
    void ShowReadMark(QTreeWidgetItem& row, int32_t read_mark);

    kestrel::TrapTable& table_;
    const kestrel::StatusImageList& images_;
    int& sort_direction_;
    kestrel::ReportList list_;
    QPushButton ok_;
    QPushButton clear_all_;
};
