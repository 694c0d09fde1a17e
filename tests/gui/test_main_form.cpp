// Every control of the main window's form: ID, kind, label and place.
#include "WindowFixture.h"
#include "controls/CStatic.h"
#include "controls/DialogUnits.h"

#include <QAccessible>
#include <QFontInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>

#include <cstdlib>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>

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

TEST_F(MainForm, WindowOpensAtTheFormsSizeWithArialAndTitle) {
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
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    // Opens at the form's size, and may grow from there.
    EXPECT_EQ(form->size(), QSize(units.X(468), units.Y(351)));
    EXPECT_NE(window->minimumSize(), window->maximumSize());
    EXPECT_EQ(window->minimumWidth(), window->width());
    EXPECT_GE(window->height(), form->height()); // the menu bar sits above the form
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowMaximizeButtonHint));
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

// Which corner of which list a control keeps its distance to when the
// window changes size.
enum class Corner { TopLeft, BottomLeft, BottomMiddle, BottomRight };
struct Follower {
    const char* name;
    const char* list;
    Corner corner;
};
const Follower kFollowers[] = {
    {"discoveryTitle", "ctl1000", Corner::TopLeft}, {"ctl1001", "ctl1000", Corner::BottomRight},
    {"ctl1002", "ctl1000", Corner::BottomMiddle},   {"downArrow", "ctl1000", Corner::BottomMiddle},
    {"monitorTitle", "ctl1003", Corner::TopLeft},   {"ctl1006", "ctl1003", Corner::BottomLeft},
    {"ctl1007", "ctl1003", Corner::BottomLeft},     {"ctl1005", "ctl1003", Corner::BottomRight},
    {"ctl1004", "ctl1003", Corner::BottomRight},    {"settingTitle", "ctl1003", Corner::BottomLeft},
    {"ctl1009", "ctl1003", Corner::BottomLeft},     {"ctl1131", "ctl1003", Corner::BottomRight},
    {"ctl1053", "ctl1003", Corner::BottomRight},
};

QPoint CornerOf(const QRect& r, Corner corner) {
    switch (corner) {
    case Corner::TopLeft:
        return r.topLeft();
    case Corner::BottomLeft:
        return {r.left(), r.top() + r.height()};
    case Corner::BottomMiddle:
        return {r.left() + r.width() / 2, r.top() + r.height()};
    case Corner::BottomRight:
        return {r.left() + r.width(), r.top() + r.height()};
    }
    return {};
}

class ResizedWindow : public ShownWindowFixture {
protected:
    QWidget* Form() { return Find<QWidget>("mainForm"); }
    QRect At(const char* name) { return Find<QWidget>(name)->geometry(); }
    std::map<std::string, QRect> Geometries() {
        std::map<std::string, QRect> all;
        for (const Control& c : kControls)
            all[c.name] = At(c.name);
        return all;
    }
    // Pairs of controls that overlap; the group boxes lie under everything.
    std::set<std::pair<std::string, std::string>> Overlaps() {
        std::set<std::pair<std::string, std::string>> pairs;
        for (const Control& a : kControls)
            for (const Control& b : kControls)
                if (a.kind != Kind::GroupBox && b.kind != Kind::GroupBox &&
                    std::string_view(a.name) < std::string_view(b.name) &&
                    At(a.name).intersects(At(b.name)))
                    pairs.insert({a.name, b.name});
        return pairs;
    }
    void WaitForFormWidth(int width) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return Form()->width() == width; }, 3000))
            << Form()->width() << " wanted " << width;
    }
};

TEST_F(ResizedWindow, ListsTakeTheRoomAndControlsKeepTheirPlacesByThem) {
    const std::map<std::string, QRect> base = Geometries();
    const std::set<std::pair<std::string, std::string>> base_overlaps = Overlaps();
    const QSize base_form = Form()->size();
    const kestrel::DialogUnits units(QFont(QStringLiteral("Arial"), 8));
    ASSERT_EQ(base_form, QSize(units.X(468), units.Y(351)));
    const int menu_height = window->height() - base_form.height();

    const struct {
        const char* what;
        std::function<void()> apply;
        QSize form; // expected form size; empty: whatever the screen gives
    } steps[] = {
        {"1200x900", [&] { window->resize(1200, 900); }, QSize(1200, 900 - menu_height)},
        {"smallest", [&] { window->resize(window->minimumSize()); }, Form()->minimumSize()},
        {"maximised", [&] { window->showMaximized(); }, QSize()},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        step.apply();
        if (step.form.isValid()) {
            WaitForFormWidth(step.form.width());
            ASSERT_TRUE(QTest::qWaitFor([&] { return Form()->size() == step.form; }, 3000))
                << Form()->height() << " wanted " << step.form.height();
        } else {
            ASSERT_TRUE(QTest::qWaitFor([&] { return Form()->width() > base_form.width(); }, 3000));
            EXPECT_TRUE(window->isMaximized());
            EXPECT_EQ(window->frameGeometry().size(), window->screen()->availableGeometry().size());
        }
        const QSize extra = Form()->size() - base_form;
        if (step.form.isValid() && extra.height() < 0) {
            EXPECT_EQ(extra.width(), 0); // never narrower than the form
        }
        // Both lists take the whole extra width and share the extra height.
        const QRect discovery = At("ctl1000");
        const QRect monitor = At("ctl1003");
        EXPECT_EQ(discovery.width(), base.at("ctl1000").width() + extra.width());
        EXPECT_EQ(monitor.width(), base.at("ctl1003").width() + extra.width());
        EXPECT_EQ(discovery.height() + monitor.height(),
                  base.at("ctl1000").height() + base.at("ctl1003").height() + extra.height());
        EXPECT_NEAR(discovery.height() - base.at("ctl1000").height(), extra.height() / 2, 1);
        EXPECT_GT(discovery.height(), 3 * window->discoveryList().header()->height());
        EXPECT_GT(monitor.height(), 3 * window->monitorList().header()->height());
        EXPECT_EQ(monitor.top() - discovery.bottom(),
                  base.at("ctl1003").top() - base.at("ctl1000").bottom());
        // Every other control stays where it was beside its list.
        for (const Follower& f : kFollowers) {
            SCOPED_TRACE(f.name);
            const QPoint then = base.at(f.name).topLeft() - CornerOf(base.at(f.list), f.corner);
            const QPoint now = At(f.name).topLeft() - CornerOf(At(f.list), f.corner);
            const int slack = f.corner == Corner::BottomMiddle ? 1 : 0;
            EXPECT_LE(std::abs(now.x() - then.x()), slack) << now.x() << " was " << then.x();
            EXPECT_EQ(now.y(), then.y());
            EXPECT_EQ(At(f.name).size(), base.at(f.name).size());
        }
        // The setting row keeps its order and spreads evenly across the width.
        const char* row[] = {"ctl1009", "ctl1008", "ctl1042", "ctl1015", "ctl1131"};
        for (std::size_t i = 1; i < std::size(row); ++i) {
            SCOPED_TRACE(row[i]);
            const int gap_then = base.at(row[i]).left() - base.at(row[i - 1]).left();
            const int gap_now = At(row[i]).left() - At(row[i - 1]).left();
            EXPECT_NEAR(gap_now - gap_then, extra.width() / 4, 1);
            EXPECT_EQ(At(row[i]).top(), At(row[0]).top());
        }
        // Nothing comes to lie on anything it did not already touch, and all
        // stays on the form.
        EXPECT_EQ(Overlaps(), base_overlaps);
        for (const Control& c : kControls)
            EXPECT_TRUE(Form()->rect().contains(At(c.name))) << c.name;
    }

    // Back to the form's size: every control back at its place.
    window->showNormal();
    window->resize(base_form.width(), base_form.height() + menu_height);
    WaitForFormWidth(base_form.width());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form()->size() == base_form; }, 3000));
    EXPECT_EQ(Geometries(), base);
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
