// Every control of the main window's form: ID, kind, label and place.
#include "WindowFixture.h"
#include "controls/CStatic.h"
#include "controls/DialogUnits.h"

#include <QAccessible>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

namespace {

enum class Kind { GroupBox, Picture, List, Button, FrameBar };

struct Control {
    const char* name;
    Kind kind;
    const char* label; // button text, or the words an image stands for
    int x, y, width, height;
};

// Written from the form's table, positions in dialog units.
const Control kControls[] = {
    {"discoveryGroup", Kind::GroupBox, "", 15, 3, 438, 128},
    {"discoveryTitle", Kind::Picture, "Discovery List", 28, 3, 59, 10},
    {"ctl1000", Kind::List, "Discovery List", 26, 15, 418, 103},
    {"ctl1001", Kind::Button, "Discovery", 370, 118, 73, 12},
    {"ctl1002", Kind::Button, "Add to monitor list", 179, 136, 72, 12},
    {"downArrow", Kind::Picture, "Down arrow", 256, 136, 8, 9},
    {"monitorGroup", Kind::GroupBox, "", 15, 147, 435, 132},
    {"monitorTitle", Kind::Picture, "Monitor List", 26, 145, 50, 11},
    {"ctl1003", Kind::List, "Monitor List", 26, 159, 414, 107},
    {"ctl1006", Kind::Picture, "Trap indicator", 27, 266, 11, 12},
    {"ctl1007", Kind::Button, "View trap", 47, 266, 72, 12},
    {"ctl1005", Kind::Button, "Add item", 283, 266, 72, 12},
    {"ctl1004", Kind::Button, "Delete item", 367, 266, 73, 12},
    {"settingGroup", Kind::GroupBox, "", 15, 285, 436, 36},
    {"settingTitle", Kind::Picture, "Device Setting", 26, 286, 60, 10},
    {"ctl1009", Kind::Button, "Configuration setting", 26, 299, 72, 12},
    {"ctl1008", Kind::Button, "Password change", 110, 299, 72, 12},
    {"ctl1042", Kind::Button, "Firmware upgrade", 199, 299, 72, 12},
    {"ctl1015", Kind::Button, "Web access", 284, 299, 72, 12},
    {"ctl1131", Kind::Button, "DHCP Refresh", 368, 299, 73, 12},
    {"ctl1053", Kind::Button, "Exit", 367, 327, 72, 12},
    {"ctl1094", Kind::FrameBar, "", 17, 118, 353, 12},
    {"ctl1095", Kind::FrameBar, "", 17, 12, 9, 113},
    {"ctl1096", Kind::FrameBar, "", 17, 8, 427, 8},
    {"ctl1097", Kind::FrameBar, "", 443, 8, 9, 122},
    {"ctl1099", Kind::FrameBar, "", 17, 152, 10, 125},
    {"ctl1100", Kind::FrameBar, "", 18, 152, 423, 8},
    {"ctl1101", Kind::FrameBar, "", 119, 266, 163, 12},
    {"ctl1102", Kind::FrameBar, "", 355, 266, 12, 12},
    {"ctl1103", Kind::FrameBar, "", 355, 299, 13, 12},
    {"ctl1105", Kind::FrameBar, "", 38, 266, 9, 12},
    {"ctl1106", Kind::FrameBar, "", 440, 152, 9, 126},
    {"ctl1107", Kind::FrameBar, "", 17, 291, 432, 8},
    {"ctl1108", Kind::FrameBar, "", 17, 311, 432, 9},
    {"ctl1109", Kind::FrameBar, "", 17, 299, 9, 13},
    {"ctl1110", Kind::FrameBar, "", 98, 298, 12, 13},
    {"ctl1111", Kind::FrameBar, "", 182, 298, 17, 13},
    {"ctl1112", Kind::FrameBar, "", 271, 298, 13, 13},
    {"ctl1113", Kind::FrameBar, "", 441, 298, 8, 13},
};

QString AccessibleName(QWidget* widget) {
    QAccessibleInterface* node = QAccessible::queryAccessibleInterface(widget);
    return node ? node->text(QAccessible::Name) : QString();
}

using MainForm = WindowFixture;

TEST_F(MainForm, EveryControlHasItsKindLabelAndPlace) {
    const kestrel::DialogUnits units(QFont(QStringLiteral("Arial"), 8));
    QWidget* form = Find<QWidget>("mainForm");
    ASSERT_NE(form, nullptr);
    for (const Control& c : kControls) {
        SCOPED_TRACE(c.name);
        QWidget* widget = Find<QWidget>(c.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget(), form);
        EXPECT_EQ(widget->geometry(),
                  QRect(units.X(c.x), units.Y(c.y), units.X(c.width), units.Y(c.height)));
        const QString label = QString::fromLatin1(c.label);
        switch (c.kind) {
        case Kind::GroupBox:
            ASSERT_NE(qobject_cast<QGroupBox*>(widget), nullptr);
            EXPECT_TRUE(qobject_cast<QGroupBox*>(widget)->title().isEmpty());
            break;
        case Kind::Picture: {
            auto* picture = qobject_cast<QLabel*>(widget);
            ASSERT_NE(picture, nullptr);
            EXPECT_FALSE(picture->pixmap().isNull());
            EXPECT_EQ(picture->pixmap().size(), widget->size());
            EXPECT_EQ(AccessibleName(widget), label);
            break;
        }
        case Kind::List:
            ASSERT_NE(qobject_cast<QTreeWidget*>(widget), nullptr);
            EXPECT_EQ(AccessibleName(widget), label);
            break;
        case Kind::Button: {
            auto* button = qobject_cast<QPushButton*>(widget);
            ASSERT_NE(button, nullptr);
            EXPECT_EQ(button->text(), label);
            EXPECT_EQ(AccessibleName(widget), label);
            EXPECT_FALSE(button->isDefault());
            EXPECT_FALSE(button->autoDefault());
            break;
        }
        case Kind::FrameBar:
            ASSERT_NE(qobject_cast<CStatic*>(widget), nullptr);
            EXPECT_TRUE(qobject_cast<CStatic*>(widget)->text().isEmpty());
            break;
        }
    }
}

TEST_F(MainForm, HoldsNoOtherControls) {
    QWidget* form = Find<QWidget>("mainForm");
    ASSERT_NE(form, nullptr);
    QStringList names;
    for (QWidget* child : form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        names << child->objectName();
    QStringList expected;
    for (const Control& c : kControls)
        expected << QString::fromLatin1(c.name);
    names.sort();
    expected.sort();
    EXPECT_EQ(names, expected);
}

TEST_F(MainForm, WindowIsFixedSizeWithArialAndTitle) {
    const kestrel::DialogUnits units(QFont(QStringLiteral("Arial"), 8));
    QWidget* form = Find<QWidget>("mainForm");
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Kestrel Utility"));
    EXPECT_EQ(form->size(), QSize(units.X(468), units.Y(351)));
    EXPECT_EQ(form->font().family(), QStringLiteral("Arial"));
    EXPECT_EQ(form->font().pointSize(), 8);
    // Arial itself, or the face drawn with its metrics.
    const QString drawn_with = QFontInfo(form->font()).family();
    EXPECT_TRUE(drawn_with == QStringLiteral("Arial") ||
                drawn_with == QStringLiteral("Liberation Sans"))
        << drawn_with.toStdString();
    window->show();
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_GE(window->height(), form->height()); // the menu bar sits above the form
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Window);
    EXPECT_FALSE(window->windowIcon().isNull());
}

TEST_F(MainForm, FaceIsPanelBlueAndBarsFrameGrey) {
    window->show();
    const QImage face = window->grab().toImage();
    QWidget* form = Find<QWidget>("mainForm");
    QWidget* bar = Find<QWidget>("ctl1094");
    ASSERT_NE(form, nullptr);
    ASSERT_NE(bar, nullptr);
    // A point of bare face (left margin) and the middle of a bar.
    const QPoint on_face = form->mapTo(window.get(), QPoint(4, form->height() / 2));
    const QPoint on_bar = bar->mapTo(window.get(), bar->rect().center());
    EXPECT_EQ(face.pixelColor(on_face), QColor(8, 105, 148));
    EXPECT_EQ(face.pixelColor(on_bar), QColor(128, 128, 128));
}

TEST_F(MainForm, TrapLampSaysWhetherNewTrapsArrived) {
    QWidget* lamp = Find<QWidget>("ctl1006");
    ASSERT_NE(lamp, nullptr);
    QAccessibleInterface* node = QAccessible::queryAccessibleInterface(lamp);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->text(QAccessible::Description), QStringLiteral("No new traps"));
    const QImage green = qobject_cast<QLabel*>(lamp)->pixmap().toImage();

    window->form().SetTrapLamp(true);
    EXPECT_EQ(node->text(QAccessible::Description), QStringLiteral("New traps arrived"));
    EXPECT_NE(qobject_cast<QLabel*>(lamp)->pixmap().toImage(), green);

    window->form().SetTrapLamp(false);
    EXPECT_EQ(node->text(QAccessible::Description), QStringLiteral("No new traps"));
    EXPECT_EQ(qobject_cast<QLabel*>(lamp)->pixmap().toImage(), green);
}

TEST_F(MainForm, DhcpRefreshIsDisabledAtStartAndTheOthersEnabled) {
    for (const Control& c : kControls) {
        if (c.kind != Kind::Button)
            continue;
        SCOPED_TRACE(c.name);
        QPushButton* button = Find<QPushButton>(c.name);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->isEnabled(), std::string_view(c.name) != "ctl1131");
    }
}

} // namespace
