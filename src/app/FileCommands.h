#pragma once
// The File menu's monitor-list commands and the View menu's log commands,
// on the files of the cfg directory.
//
// The file dialogs and the launch of the log viewer go through two small
// function members, so tests can answer them without a modal dialog or a
// desktop.

#include "protocol/lists/DeviceTables.h"
#include "protocol/seams/Notifier.h"
#include "protocol/seams/Seams.h"

#include <QString>
#include <QUrl>

#include <filesystem>
#include <functional>
#include <memory>

class QFileDialog;
class QWidget;

namespace kestrel {

enum class MonitorFileDialog { SaveAs, Load };

// The dialog of "Monitor save as" or "Monitor load" in the given folder,
// set up but not shown.
std::unique_ptr<QFileDialog> MakeMonitorFileDialog(QWidget* parent, MonitorFileDialog kind,
                                                   const QString& folder);
// Runs that dialog; the chosen file, or an empty text when cancelled.
QString ChooseMonitorFile(QWidget* parent, MonitorFileDialog kind, const QString& folder);

std::filesystem::path LocalPath(const QString& path);

} // namespace kestrel

class CFileCommands {
public:
    // Everything handed in must outlive this object; cfg_dir is the
    // program's cfg folder, read once at start.
    CFileCommands(QWidget* parent, std::filesystem::path cfg_dir, kestrel::DeviceTable& monitor,
                  kestrel::ListHooks& hooks, kestrel::Notifier& notifier);

    void LoadAtStartUp(); // monitor.cfg into the (empty) monitor list
    void Save();          // "Monitor save"
    void SaveAs();        // "Monitor save as"
    void Load();          // "Monitor load"
    void ViewLog();       // "View log": the current syslog.log
    void ClearLog();      // "Clear log": syslog.log and its older files

    // The file dialog, opened in the cfg folder.
    std::function<QString(QWidget*, kestrel::MonitorFileDialog)> chooseFile;
    // True when a viewer took the file.
    std::function<bool(const QUrl&)> openUrl;

private:
    QWidget* parent_;
    std::filesystem::path cfg_dir_;
    kestrel::DeviceTable& monitor_;
    kestrel::ListHooks& hooks_;
    kestrel::Notifier& notifier_;
};
