#pragma once
// The main window's menu bar: "File", "View", "Option" (with the
// "Refresh time" submenu) and "Help". Each item is a QAction whose
// objectName is "cmd" plus its command ID and whose data is the ID.

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include <array>

namespace kestrel {

inline constexpr int ID_MONITOR_SAVE = 32771;
inline constexpr int ID_MONITOR_LOAD = 32773;
inline constexpr int ID_EXIT = 32774;
inline constexpr int ID_MONITOR_SAVE_AS = 32775;
inline constexpr int ID_VIEW_LOG = 32776;
inline constexpr int ID_REFRESH_15S = 32778;
inline constexpr int ID_REFRESH_30S = 32779;
inline constexpr int ID_REFRESH_1MIN = 32780;
inline constexpr int ID_REFRESH_2MIN = 32781;
inline constexpr int ID_REFRESH_5MIN = 32782;
inline constexpr int ID_ABOUT = 32783;
inline constexpr int ID_CLEAR_LOG = 32791;
inline constexpr int ID_GROUP_INTERVAL = 32793;

struct RefreshChoice {
    int id;
    const char* label;
    int seconds;
};

inline constexpr std::array<RefreshChoice, 5> kRefreshChoices = {{
    {ID_REFRESH_15S, "15 secs", 15},
    {ID_REFRESH_30S, "30 secs", 30},
    {ID_REFRESH_1MIN, "1 min", 60},
    {ID_REFRESH_2MIN, "2 mins", 120},
    {ID_REFRESH_5MIN, "5 mins", 300},
}};

class MainMenu {
public:
    explicit MainMenu(QWidget* window);

    QMenuBar& bar() { return bar_; }
    QAction& monitorSave() { return monitor_save_; }
    QAction& monitorSaveAs() { return monitor_save_as_; }
    QAction& monitorLoad() { return monitor_load_; }
    QAction& exit() { return exit_; }
    QAction& viewLog() { return view_log_; }
    QAction& clearLog() { return clear_log_; }
    QAction& groupInterval() { return group_interval_; }
    QAction& about() { return about_; }
    // In the order of kRefreshChoices.
    std::array<QAction, kRefreshChoices.size()>& refreshItems() { return refresh_; }

    // Puts the only check mark of the "Refresh time" submenu on the item
    // with this command ID; false when no item has it. The items are in no
    // exclusive action group, which would draw them as radio bullets.
    bool CheckRefreshItem(int id);

private:
    QMenuBar bar_;
    QMenu file_{QStringLiteral("File"), &bar_};
    QMenu view_{QStringLiteral("View"), &bar_};
    QMenu option_{QStringLiteral("Option"), &bar_};
    QMenu refresh_time_{QStringLiteral("Refresh time"), &option_};
    QMenu help_{QStringLiteral("Help"), &bar_};
    QAction monitor_save_{QStringLiteral("Monitor save"), &file_};
    QAction monitor_save_as_{QStringLiteral("Monitor save as"), &file_};
    QAction monitor_load_{QStringLiteral("Monitor load"), &file_};
    QAction exit_{QStringLiteral("Exit"), &file_};
    QAction view_log_{QStringLiteral("View log"), &view_};
    QAction clear_log_{QStringLiteral("Clear log"), &view_};
    std::array<QAction, kRefreshChoices.size()> refresh_;
    QAction group_interval_{QStringLiteral("Group Interval"), &option_};
    QAction about_{QStringLiteral("About"), &help_};
};

} // namespace kestrel
