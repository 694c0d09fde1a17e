// The Trap information dialog through its real widgets: which traps it
// lists, sorting, marking a trap read, "Clear all", its colours and names.

#include "controls/ColourScheme.h"
#include "controls/DialogUnits.h"
#include "controls/StatusImages.h"
#include "monitor/ui/Trap_Info.h"
#include "protocol/wire/DeviceRecord.h"

#include <QHeaderView>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace kestrel;

namespace {

struct Trap {
    const char* time;
    const char* ip;
    const char* text;
};

class TrapInfoTest : public ::testing::Test {
protected:
    void Add(std::initializer_list<Trap> traps) {
        for (const Trap& t : traps)
            table.Add(t.time, t.ip, t.text);
    }
    CTrap_Info& Open() {
        dialog = std::make_unique<CTrap_Info>(table, images, sort_direction);
        dialog->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        return *dialog;
    }
    ReportList& List() { return dialog->trapList(); }
    std::vector<std::string> Column(int column) {
        std::vector<std::string> texts;
        for (int i = 0; i < List().topLevelItemCount(); ++i)
            texts.push_back(List().topLevelItem(i)->text(column).toStdString());
        return texts;
    }
    void ClickHeader(int column) {
        QHeaderView* header = List().header();
        QTest::mouseClick(
            header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
    }
    void ClickRow(int row) {
        const QRect rect = List().visualItemRect(List().topLevelItem(row));
        QTest::mouseClick(List().viewport(), Qt::LeftButton, {},
                          QPoint(rect.left() + 40, rect.center().y()));
    }
    QPushButton* Button(const char* name) {
        return dialog->findChild<QPushButton*>(QString::fromLatin1(name));
    }

    TrapTable table;
    StatusImageList images;
    int sort_direction = 1;
    std::unique_ptr<CTrap_Info> dialog;
};

TEST_F(TrapInfoTest, ListsTrapsOldestFirstWithTheirReadMarks) {
    Add({{"01/02/2006 03:04:05", "198.18.1.1", "Port 1 link up"},
         {"01/02/2006 03:04:06", "198.18.1.2", "Port 2 link down"}});
    table.BySerial(table.Entry(1).serial)->read_mark = kTrapRead;
    Open();
    ASSERT_EQ(List().topLevelItemCount(), 2);
    EXPECT_EQ(Column(1), (std::vector<std::string>{"01/02/2006 03:04:05", "01/02/2006 03:04:06"}));
    EXPECT_EQ(Column(2), (std::vector<std::string>{"198.18.1.1", "198.18.1.2"}));
    EXPECT_EQ(Column(3), (std::vector<std::string>{"Port 1 link up", "Port 2 link down"}));
    EXPECT_EQ(Column(4), (std::vector<std::string>{"", ""}));
    EXPECT_FALSE(List().topLevelItem(0)->icon(0).isNull());
    EXPECT_EQ(List().topLevelItem(0)->data(0, Qt::AccessibleTextRole).toString(),
              QStringLiteral("New trap"));
    EXPECT_TRUE(List().topLevelItem(1)->icon(0).isNull());
}

TEST_F(TrapInfoTest, AnEmptyTextKeepsItsRowAndEveryLaterTrap) {
    Add({{"01/02/2006 03:04:05", "198.18.1.1", "before"},
         {"01/02/2006 03:04:06", "198.18.1.2", ""},
         {"01/02/2006 03:04:07", "198.18.1.3", "after the empty one"},
         {"01/02/2006 03:04:08", "198.18.1.4", ""}});
    Open();
    EXPECT_EQ(Column(3), (std::vector<std::string>{"before", "", "after the empty one", ""}));
    EXPECT_EQ(Column(2),
              (std::vector<std::string>{"198.18.1.1", "198.18.1.2", "198.18.1.3", "198.18.1.4"}));
    // Every row still names its own trap: a click marks the empty one read.
    ClickRow(1);
    EXPECT_EQ(table.Entry(1).read_mark, kTrapRead);
    EXPECT_EQ(table.Entry(2).read_mark, kTrapNew);
}

TEST_F(TrapInfoTest, ColumnClicksToggleTheDirectionFirstThenSortBytewise) {
    Add({{"12/31/2005 23:59:59", "198.18.1.10", "b"},
         {"01/02/2006 00:00:00", "198.18.1.9", "a"},
         {"06/15/2005 12:00:00", "198.18.1.2", "c"}});
    Open();
    const struct {
        int column;
        int direction_after;
        std::vector<std::string> events; // column 3, top to bottom
    } steps[] = {
        // The first click after start-up sorts descending. Month first:
        // 01/02/2006 < 06/15/2005 < 12/31/2005.
        {1, 0, {"b", "c", "a"}},
        {1, 1, {"a", "c", "b"}},
        // Byte-wise: "198.18.1.10" < "198.18.1.2" < "198.18.1.9".
        {2, 0, {"a", "c", "b"}},
        {2, 1, {"b", "c", "a"}},
        // Column 4 sorts nothing but turns the direction.
        {4, 0, {"b", "c", "a"}},
        {3, 1, {"a", "b", "c"}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.column);
        ClickHeader(step.column);
        EXPECT_EQ(sort_direction, step.direction_after);
        EXPECT_EQ(Column(3), step.events);
    }
}

TEST_F(TrapInfoTest, ImageColumnSortsBySignedIndex) {
    Add({{"t", "198.18.1.1", "read"}, {"t", "198.18.1.2", "new"}, {"t", "198.18.1.3", "read too"}});
    table.BySerial(table.Entry(0).serial)->read_mark = kTrapRead;
    table.BySerial(table.Entry(2).serial)->read_mark = kTrapRead;
    sort_direction = 0; // the click makes it ascending: -1 before 0
    Open();
    ClickHeader(0);
    EXPECT_EQ(Column(3), (std::vector<std::string>{"read", "read too", "new"}));
    ClickHeader(0);
    EXPECT_EQ(Column(3), (std::vector<std::string>{"new", "read", "read too"}));
}

TEST_F(TrapInfoTest, AClickAfterASortMarksTheClickedTrapReadInPlace) {
    Add({{"t", "198.18.1.1", "first"},
         {"t", "198.18.1.2", "second"},
         {"t", "198.18.1.3", "third"}});
    Open();
    ClickHeader(3); // descending: third, second, first
    ASSERT_EQ(Column(3), (std::vector<std::string>{"third", "second", "first"}));
    ClickRow(2);
    EXPECT_EQ(table.Entry(0).read_mark, kTrapRead);
    EXPECT_EQ(table.Entry(1).read_mark, kTrapNew);
    EXPECT_EQ(table.Entry(2).read_mark, kTrapNew);
    EXPECT_EQ(Column(3), (std::vector<std::string>{"third", "second", "first"}));
    EXPECT_TRUE(List().topLevelItem(2)->icon(0).isNull());
    EXPECT_TRUE(List().topLevelItem(2)->isSelected());
    EXPECT_FALSE(List().topLevelItem(0)->icon(0).isNull());
    EXPECT_FALSE(List().topLevelItem(1)->icon(0).isNull());

    // The mark stays with the trap at the next opening.
    Open();
    EXPECT_TRUE(List().topLevelItem(0)->icon(0).isNull());
    EXPECT_FALSE(List().topLevelItem(1)->icon(0).isNull());
}

TEST_F(TrapInfoTest, ClearAllEmptiesRowsTableAndCountThenATrapFillsEntryZero) {
    Add({{"t", "198.18.1.1", "one"}, {"t", "198.18.1.2", "two"}});
    Open();
    QTest::mouseClick(Button("ctl1015"), Qt::LeftButton);
    EXPECT_EQ(List().topLevelItemCount(), 0);
    EXPECT_EQ(table.size(), 0);
    EXPECT_EQ(table.count(), 0);
    EXPECT_TRUE(dialog->isVisible()); // no question, no closing
    table.Add("t", "198.18.1.3", "after");
    Open();
    EXPECT_EQ(Column(3), (std::vector<std::string>{"after"}));
    EXPECT_EQ(FieldText(table.Entry(0).event_text), "after");
}

TEST_F(TrapInfoTest, TrapsArrivingWhileOpenShowAtTheNextOpening) {
    Add({{"t", "198.18.1.1", "before"}});
    CTrap_Info& first = Open();
    table.Add("t", "198.18.1.1", "meanwhile");
    EXPECT_EQ(first.trapList().topLevelItemCount(), 1);
    QTest::mouseClick(Button("ctl1"), Qt::LeftButton);
    EXPECT_FALSE(first.isVisible());
    Open();
    EXPECT_EQ(Column(3), (std::vector<std::string>{"before", "meanwhile"}));
}

TEST_F(TrapInfoTest, FormColoursAndAccessibleNames) {
    Open();
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Trap information"));
    const DialogUnits du(dialog->font());
    EXPECT_EQ(dialog->size(), du.ToPixels(407, 187));
    EXPECT_EQ(List().geometry(), du.ToPixels(16, 15, 375, 142));
    EXPECT_EQ(dialog->palette().color(QPalette::Window), colours::kPanelBlue);
    EXPECT_TRUE(dialog->autoFillBackground());
    const QImage face = dialog->grab().toImage();
    EXPECT_EQ(face.pixelColor(3, 3), colours::kPanelBlue);

    EXPECT_EQ(List().accessibleName(), QStringLiteral("Trap List"));
    const struct {
        const char* name;
        const char* label;
        QRect place;
    } buttons[] = {{"ctl1", "OK", du.ToPixels(318, 168, 72, 12)},
                   {"ctl1015", "Clear all", du.ToPixels(16, 170, 72, 10)}};
    for (const auto& b : buttons) {
        QPushButton* button = Button(b.name);
        ASSERT_NE(button, nullptr) << b.name;
        EXPECT_EQ(button->text(), QString::fromLatin1(b.label));
        EXPECT_EQ(button->geometry(), b.place);
    }
    EXPECT_TRUE(Button("ctl1")->isDefault());

    const char* titles[] = {"S", "Time", "IP", "Event", " "};
    const int widths[] = {20, 100, 100, 800, 30};
    ASSERT_EQ(List().columnCount(), 5);
    for (int c = 0; c < 5; ++c) {
        EXPECT_EQ(List().headerItem()->text(c), QString::fromLatin1(titles[c]));
        EXPECT_EQ(List().header()->sectionSize(c), widths[c]);
    }
}

} // namespace
