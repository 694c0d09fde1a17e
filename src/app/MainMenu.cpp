#include "MainMenu.h"

namespace kestrel {

namespace {

void SetCommandId(QAction& action, int id) {
    action.setObjectName(QStringLiteral("cmd%1").arg(id));
    action.setData(id);
    // Item texts are shown as they are, with no accelerator keys.
    action.setMenuRole(QAction::NoRole);
}

} // namespace

MainMenu::MainMenu(QWidget* window) : bar_(window) {
    bar_.setObjectName(QStringLiteral("menuBar"));
    bar_.setNativeMenuBar(false);

    SetCommandId(monitor_save_, ID_MONITOR_SAVE);
    SetCommandId(monitor_save_as_, ID_MONITOR_SAVE_AS);
    SetCommandId(monitor_load_, ID_MONITOR_LOAD);
    SetCommandId(exit_, ID_EXIT);
    file_.addActions({&monitor_save_, &monitor_save_as_, &monitor_load_, &exit_});

    SetCommandId(view_log_, ID_VIEW_LOG);
    SetCommandId(clear_log_, ID_CLEAR_LOG);
    view_.addActions({&view_log_, &clear_log_});

    for (std::size_t i = 0; i < kRefreshChoices.size(); ++i) {
        refresh_[i].setParent(&refresh_time_);
        refresh_[i].setText(QString::fromLatin1(kRefreshChoices[i].label));
        refresh_[i].setCheckable(true);
        SetCommandId(refresh_[i], kRefreshChoices[i].id);
        refresh_time_.addAction(&refresh_[i]);
    }
    option_.addMenu(&refresh_time_);
    SetCommandId(group_interval_, ID_GROUP_INTERVAL);
    option_.addAction(&group_interval_);

    SetCommandId(about_, ID_ABOUT);
    help_.addAction(&about_);

    for (QMenu* menu : {&file_, &view_, &option_, &help_})
        bar_.addMenu(menu);
}

bool MainMenu::CheckRefreshItem(int id) {
    QAction* chosen = nullptr;
    for (QAction& item : refresh_) {
        if (item.data().toInt() == id)
            chosen = &item;
    }
    if (chosen == nullptr)
        return false;
    for (QAction& item : refresh_)
        item.setChecked(&item == chosen);
    return true;
}

} // namespace kestrel
