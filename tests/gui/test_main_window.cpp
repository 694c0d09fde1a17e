// The main window's menus, keyboard rule, ways out, lists and About box.
#include "ModalAnswer.h"
#include "WindowFixture.h"
#include "app/AboutDlg.h"
#include "app/CommandLine.h"
#include "app/ProgramVersion.h"
#include "controls/DialogUnits.h"
#include "controls/ReportList.h"

#include <QAccessible>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <string>
#include <vector>

namespace {

using MainWindow = WindowFixture;

struct Item {
    const char* text;
    int id;
};

QMenu* SubMenu(QAction* action) {
    return action ? action->menu() : nullptr;
}

void ExpectItems(QMenu* menu, const std::vector<Item>& expected) {
    ASSERT_NE(menu, nullptr);
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        QAction* action = actions[static_cast<qsizetype>(i)];
        SCOPED_TRACE(expected[i].text);
        EXPECT_FALSE(action->isSeparator());
        EXPECT_EQ(action->text(), QString::fromLatin1(expected[i].text));
        EXPECT_EQ(action->data().toInt(), expected[i].id);
        EXPECT_EQ(action->objectName(), QStringLiteral("cmd%1").arg(expected[i].id));
    }
}

TEST_F(MainWindow, MenuBarHasItsMenusAndItemsInOrder) {
    QMenuBar* bar = Find<QMenuBar>("menuBar");
    ASSERT_NE(bar, nullptr);
    const QList<QAction*> menus = bar->actions();
    ASSERT_EQ(menus.size(), 4);
    EXPECT_EQ(menus[0]->text(), QStringLiteral("File"));
    EXPECT_EQ(menus[1]->text(), QStringLiteral("View"));
    EXPECT_EQ(menus[2]->text(), QStringLiteral("Option"));
    EXPECT_EQ(menus[3]->text(), QStringLiteral("Help"));

    ExpectItems(SubMenu(menus[0]), {{"Monitor save", 32771},
                                    {"Monitor save as", 32775},
                                    {"Monitor load", 32773},
                                    {"Exit", 32774}});
    ExpectItems(SubMenu(menus[1]), {{"View log", 32776}, {"Clear log", 32791}});

    QMenu* option = SubMenu(menus[2]);
    ASSERT_NE(option, nullptr);
    const QList<QAction*> options = option->actions();
    ASSERT_EQ(options.size(), 2);
    EXPECT_EQ(options[0]->text(), QStringLiteral("Refresh time"));
    ExpectItems(SubMenu(options[0]), {{"15 secs", 32778},
                                      {"30 secs", 32779},
                                      {"1 min", 32780},
                                      {"2 mins", 32781},
                                      {"5 mins", 32782}});
    EXPECT_EQ(options[1]->text(), QStringLiteral("Group Interval"));
    EXPECT_EQ(options[1]->data().toInt(), 32793);

    ExpectItems(SubMenu(menus[3]), {{"About", 32783}});
}

QStringList CheckedRefreshItems(CSwitchyardDlg& window) {
    QStringList checked;
    for (int id = 32778; id <= 32782; ++id) {
        auto* item = window.findChild<QAction*>(QStringLiteral("cmd%1").arg(id));
        if (item != nullptr && item->isChecked())
            checked << item->text();
    }
    return checked;
}

TEST_F(MainWindow, FifteenSecondsIsTheOnlyCheckedRefreshTimeAtStart) {
    EXPECT_EQ(CheckedRefreshItems(*window), QStringList{QStringLiteral("15 secs")});
    EXPECT_EQ(window->polling().refreshPeriod(), 15);
}

TEST_F(MainWindow, ChosenRefreshTimeCarriesTheOnlyCheckMarkAndSetsThePeriod) {
    const struct {
        const char* name;
        const char* text;
        int seconds;
    } choices[] = {
        {"cmd32781", "2 mins", 120}, {"cmd32779", "30 secs", 30}, {"cmd32782", "5 mins", 300},
        {"cmd32780", "1 min", 60},   {"cmd32778", "15 secs", 15}, {"cmd32778", "15 secs", 15},
    };
    for (const auto& choice : choices) {
        SCOPED_TRACE(choice.text);
        QAction* item = Find<QAction>(choice.name);
        ASSERT_NE(item, nullptr);
        item->trigger();
        EXPECT_EQ(CheckedRefreshItems(*window), QStringList{QString::fromLatin1(choice.text)});
        EXPECT_EQ(window->polling().refreshPeriod(), choice.seconds);
    }
}

// What a menu draws beside an item comes from initStyleOption, which QMenu
// keeps protected.
class MenuProbe : public QMenu {
public:
    using QMenu::initStyleOption;
};

TEST_F(MainWindow, RefreshTimeItemsShowACheckMarkNotARadioBullet) {
    for (int id = 32778; id <= 32782; ++id) {
        SCOPED_TRACE(id);
        QAction* item = Find<QAction>(QStringLiteral("cmd%1").arg(id).toLatin1().constData());
        ASSERT_NE(item, nullptr);
        MenuProbe probe;
        probe.addAction(item);
        QStyleOptionMenuItem option;
        probe.initStyleOption(&option, item);
        EXPECT_EQ(option.checkType, QStyleOptionMenuItem::NonExclusive);
        EXPECT_EQ(option.checked, id == 32778);
    }
}

std::vector<std::unique_ptr<QSignalSpy>> SpyOnButtons(CSwitchyardDlg& window) {
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (QPushButton* button : window.findChildren<QPushButton*>())
        spies.push_back(std::make_unique<QSignalSpy>(button, &QPushButton::clicked));
    return spies;
}

TEST_F(MainWindow, EnterAndEscapeNeitherPressAButtonNorCloseTheWindow) {
    window->show();
    const auto spies = SpyOnButtons(*window);
    ASSERT_EQ(spies.size(), 11u);
    QSignalSpy finished(window.get(), &QDialog::finished);
    QSignalSpy closed(window.get(), &CSwitchyardDlg::socketsClosed);

    const char* focused_controls[] = {"ctl1001", "ctl1053", "ctl1000", "ctl1003", "ctl1131"};
    for (const char* name : focused_controls) {
        QWidget* control = Find<QWidget>(name);
        ASSERT_NE(control, nullptr);
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            SCOPED_TRACE(std::string(name) + " key " + std::to_string(key));
            QTest::keyClick(control, key);
            EXPECT_TRUE(window->isVisible());
        }
    }
    for (const auto& spy : spies)
        EXPECT_EQ(spy->count(), 0) << spy->signal().constData();
    EXPECT_EQ(finished.count(), 0);
    EXPECT_EQ(closed.count(), 0);
}

TEST_F(MainWindow, OtherKeysStillReachTheFocusedControl) {
    window->show();
    QPushButton* discovery = Find<QPushButton>("ctl1001");
    ASSERT_NE(discovery, nullptr);
    QSignalSpy clicked(discovery, &QPushButton::clicked);
    QTest::keyClick(discovery, Qt::Key_Space);
    EXPECT_EQ(clicked.count(), 1);
}

struct WayOut {
    const char* name;
    const char* control; // object name of the menu item or button
    int result;
};

// The three ways out; an empty control name means closing the window.
const WayOut kWaysOut[] = {
    {"File > Exit", "cmd32774", QDialog::Rejected},
    {"Exit button", "ctl1053", QDialog::Accepted},
    {"window close", "", QDialog::Rejected},
};

void Leave(CSwitchyardDlg& window, const WayOut& way) {
    const QString name = QString::fromLatin1(way.control);
    if (name.isEmpty())
        window.close();
    else if (auto* item = window.findChild<QAction*>(name))
        item->trigger();
    else if (auto* button = window.findChild<QPushButton*>(name))
        QTest::mouseClick(button, Qt::LeftButton);
    else
        ADD_FAILURE() << "no control " << way.control;
}

TEST_F(MainWindow, EveryWayOutClosesTheSocketsOnceAndSavesNothing) {
    for (const WayOut& way : kWaysOut) {
        SCOPED_TRACE(way.name);
        TearDown();
        SetUp();
        window->setResult(-1);
        window->show();
        QSignalSpy closed(window.get(), &CSwitchyardDlg::socketsClosed);
        const kestrel::SocketKind kinds[] = {kestrel::SocketKind::Broadcast,
                                             kestrel::SocketKind::Multicast,
                                             kestrel::SocketKind::Unicast};
        for (const kestrel::SocketKind kind : kinds)
            ASSERT_TRUE(window->network().sockets().IsOpen(kind));
        Leave(*window, way);
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(window->result(), way.result);
        EXPECT_EQ(closed.count(), 1);
        for (const kestrel::SocketKind kind : kinds)
            EXPECT_FALSE(window->network().sockets().IsOpen(kind));
        // A later close request finds the sockets closed already.
        window->close();
        EXPECT_EQ(closed.count(), 1);
        EXPECT_FALSE(QFile::exists(CfgFile("monitor.cfg")));
    }
}

TEST_F(MainWindow, ExecReturnsWhenTheWindowEnds) {
    for (const WayOut& way : kWaysOut) {
        SCOPED_TRACE(way.name);
        TearDown();
        SetUp();
        QSignalSpy closed(window.get(), &CSwitchyardDlg::socketsClosed);
        QTimer::singleShot(0, window.get(), [this, &way] { Leave(*window, way); });
        EXPECT_EQ(window->exec(), way.result);
        EXPECT_EQ(closed.count(), 1);
    }
}

struct ColumnCase {
    const char* title;
    int width;
    bool centred;
};

void ExpectColumns(kestrel::ReportList& list, const std::vector<ColumnCase>& expected) {
    ASSERT_EQ(list.columnCount(), static_cast<int>(expected.size()));
    // A row whose items ask for the opposite alignment: the column wins.
    QStringList texts;
    for (std::size_t i = 0; i < expected.size(); ++i)
        texts << QStringLiteral("x");
    auto row = std::make_unique<QTreeWidgetItem>(texts);
    for (int column = 0; column < list.columnCount(); ++column)
        row->setTextAlignment(column, Qt::AlignRight);
    list.addTopLevelItem(row.release()); // the list owns its rows

    for (int column = 0; column < list.columnCount(); ++column) {
        const ColumnCase& c = expected[static_cast<std::size_t>(column)];
        SCOPED_TRACE(c.title);
        const Qt::Alignment horizontal = c.centred ? Qt::AlignHCenter : Qt::AlignLeft;
        EXPECT_EQ(list.headerItem()->text(column), QString::fromLatin1(c.title));
        EXPECT_EQ(list.header()->sectionSize(column), c.width);
        EXPECT_EQ(Qt::Alignment(list.headerItem()->textAlignment(column)) &
                      Qt::AlignHorizontal_Mask,
                  horizontal);
        QStyleOptionViewItem option;
        list.alignmentDelegate().initStyleOption(&option, list.model()->index(0, column));
        EXPECT_EQ(option.displayAlignment & Qt::AlignHorizontal_Mask, horizontal);
    }
    list.clear();
}

TEST_F(MainWindow, DiscoveryListColumns) {
    ExpectColumns(window->discoveryList(), {{"MAC Address", 100, true},
                                            {"IP Address", 100, false},
                                            {"Protocol Version", 100, false},
                                            {"Product Name", 100, false},
                                            {"System Name", 100, false},
                                            {"DHCP", 100, false},
                                            {"Location", 100, false},
                                            {"Trap IP", 100, false},
                                            {"Subnet Mask", 100, false},
                                            {"Gateway", 100, false},
                                            {"Group Interval", 100, false}});
}

TEST_F(MainWindow, MonitorListColumns) {
    ExpectColumns(window->monitorList(), {{"S", 20, true},
                                          {"IP Address", 80, false},
                                          {"MAC Address", 100, false},
                                          {"Protocol Version", 100, false},
                                          {"Product Name", 100, false},
                                          {"System Name", 100, false},
                                          {"DHCP", 100, false},
                                          {"Location", 100, false},
                                          {"Trap IP", 100, false},
                                          {"Subnet Mask", 100, false},
                                          {"Gateway", 100, false},
                                          {"Group Interval", 100, false}});
}

TEST_F(MainWindow, ListsAreReportViewsWithSeveralFullRowSelections) {
    for (kestrel::ReportList* list : {&window->discoveryList(), &window->monitorList()}) {
        SCOPED_TRACE(list->objectName().toStdString());
        EXPECT_FALSE(list->rootIsDecorated());
        EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
        EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
        EXPECT_TRUE(list->header()->sectionsClickable());
        EXPECT_FALSE(list->isSortingEnabled()); // the lists sort by their own rules
        const QPalette colours = list->palette();
        EXPECT_EQ(colours.color(QPalette::Inactive, QPalette::Highlight),
                  colours.color(QPalette::Active, QPalette::Highlight));
        EXPECT_EQ(colours.color(QPalette::Inactive, QPalette::HighlightedText),
                  colours.color(QPalette::Active, QPalette::HighlightedText));
    }
    EXPECT_EQ(window->discoveryList().accessibleName(), QStringLiteral("Discovery List"));
    EXPECT_EQ(window->monitorList().accessibleName(), QStringLiteral("Monitor List"));
}

TEST_F(MainWindow, StartsWithEmptyTablesAndNoPendingRequest) {
    EXPECT_EQ(window->tables().discovery.count(), 0);
    EXPECT_EQ(window->tables().monitor.count(), 0);
    EXPECT_EQ(window->discoveryList().topLevelItemCount(), 0);
    EXPECT_EQ(window->monitorList().topLevelItemCount(), 0);
    EXPECT_TRUE(window->setExchange().pending_mac.empty());
    EXPECT_EQ(window->setExchange().pending_ip, 0u);
    EXPECT_TRUE(kestrel::FieldText(window->upgrade().target().mac_text).empty());
    EXPECT_FALSE(window->rediscovery().running());
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(MainWindow, StatusImagesMarkNewTrapsAndDeadAgents) {
    // The list the window shows its rows with is this one, drawn anew.
    const kestrel::StatusImageList images;
    EXPECT_FALSE(images.Icon(0).isNull());
    EXPECT_FALSE(images.Icon(1).isNull());
    EXPECT_NE(images.Icon(0).pixmap(16, 16).toImage(), images.Icon(1).pixmap(16, 16).toImage());
    EXPECT_EQ(images.Icon(0).pixmap(16, 16).size(), QSize(16, 16));
    for (const int none : {-1, 2, -100})
        EXPECT_TRUE(images.Icon(none).isNull()) << none;
    EXPECT_EQ(images.AccessibleName(0), QStringLiteral("New trap"));
    EXPECT_EQ(images.AccessibleName(1), QStringLiteral("Not alive"));
    EXPECT_TRUE(images.AccessibleName(-1).isEmpty());
}

TEST_F(MainWindow, AboutBoxShowsTheVersionsAndClosesWithOk) {
    window->show();
    QStringList texts;
    QString title;
    bool ok_is_default = false;
    ModalAnswer answer([&](QWidget* modal) {
        title = modal->windowTitle();
        for (const char* name : {"ctl1115", "ctl1116", "ctl1117"}) {
            auto* line = modal->findChild<QLabel*>(QString::fromLatin1(name));
            texts << (line ? line->text() : QString());
        }
        auto* ok = modal->findChild<QPushButton*>(QStringLiteral("ctl1"));
        ok_is_default = ok != nullptr && ok->isDefault() && ok->text() == QStringLiteral("OK");
        if (ok != nullptr)
            QTest::mouseClick(ok, Qt::LeftButton);
    });
    Find<QAction>("cmd32783")->trigger();
    EXPECT_TRUE(answer.answered());
    EXPECT_EQ(title, QStringLiteral("About"));
    ASSERT_EQ(texts.size(), 3);
    EXPECT_EQ(texts[0], QStringLiteral("Kestrel Utility Version 1.06.00"));
    EXPECT_EQ(texts[1], QStringLiteral("Protocol Version 2.001.003"));
    // A neutral notice: no company name that could be someone's.
    EXPECT_EQ(texts[2], QStringLiteral("(C) 2026 the Kestrel Utility authors"));
    EXPECT_TRUE(ok_is_default);
    EXPECT_TRUE(window->isVisible()); // back to the main window
}

TEST(AboutBox, FormPlacesAndColours) {
    CAboutDlg about;
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    const kestrel::DialogUnits units(about.font());
    EXPECT_EQ(about.font().family(), QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(about.font().pointSize(), 8);
    EXPECT_EQ(about.size(), units.ToPixels(218, 72));

    const struct {
        const char* name;
        int x, y, width, height;
    } controls[] = {
        {"aboutIcon", 15, 17, 20, 20}, {"ctl1115", 52, 8, 134, 8}, {"ctl1116", 52, 24, 86, 8},
        {"ctl1117", 52, 40, 125, 8},   {"ctl1", 148, 53, 50, 14},
    };
    for (const auto& c : controls) {
        SCOPED_TRACE(c.name);
        auto* widget = about.findChild<QWidget*>(QString::fromLatin1(c.name));
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), units.ToPixels(c.x, c.y, c.width, c.height));
    }
    EXPECT_FALSE(about.findChild<QLabel*>(QStringLiteral("aboutIcon"))->pixmap().isNull());

    // White face; the three lines black on white.
    const QImage face = about.grab().toImage();
    EXPECT_EQ(face.pixelColor(4, 4), QColor(255, 255, 255));
    EXPECT_EQ(face.pixelColor(4, about.height() - 4), QColor(255, 255, 255));
    for (const char* name : {"ctl1115", "ctl1116", "ctl1117"}) {
        SCOPED_TRACE(name);
        auto* line = about.findChild<QLabel*>(QString::fromLatin1(name));
        ASSERT_NE(line, nullptr);
        EXPECT_EQ(line->palette().color(QPalette::WindowText), QColor(0, 0, 0));
        const QImage drawn = line->grab().toImage();
        bool has_white = false;
        bool has_dark = false;
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x) {
                const QColor pixel = drawn.pixelColor(x, y);
                has_white = has_white || pixel == QColor(255, 255, 255);
                has_dark = has_dark || pixel.lightness() < 96;
            }
        EXPECT_TRUE(has_white);
        EXPECT_TRUE(has_dark);
    }
}

TEST(AboutBox, VersionLineHasTwoDigitMinorAndPatch) {
    const struct {
        int major, minor, patch;
        const char* line;
    } cases[] = {
        {1, 6, 0, "Kestrel Utility Version 1.06.00"},
        {2, 12, 3, "Kestrel Utility Version 2.12.03"},
        {10, 0, 99, "Kestrel Utility Version 10.00.99"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kestrel::AboutVersionText(c.major, c.minor, c.patch).toStdString(), c.line);
}

TEST(AboutBox, ShowsTheVersionThatTheVersionOptionPrints) {
    char program[] = "kestrel-utility";
    char option[] = "--version";
    char* argv[] = {program, option, nullptr};
    testing::internal::CaptureStdout();
    const auto code = kestrel::AnswerInfoOptions(2, argv);
    const std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_EQ(code, std::optional<int>(0));
    // "kestrel-utility 1.6.0\n"
    const QStringList words = QString::fromStdString(printed).trimmed().split(QLatin1Char(' '));
    ASSERT_EQ(words.size(), 2) << printed;
    EXPECT_EQ(words[0], QStringLiteral("kestrel-utility"));
    const QStringList parts = words[1].split(QLatin1Char('.'));
    ASSERT_EQ(parts.size(), 3) << printed;

    CAboutDlg about;
    auto* line = about.findChild<QLabel*>(QStringLiteral("ctl1115"));
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->text(),
              kestrel::AboutVersionText(parts[0].toInt(), parts[1].toInt(), parts[2].toInt()));
}

} // namespace
