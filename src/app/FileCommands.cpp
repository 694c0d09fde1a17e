#include "FileCommands.h"

#include "monitor/EventLog.h"
#include "monitor/MonitorFile.h"
#include "monitor/MonitorMessages.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>

namespace kestrel {

std::unique_ptr<QFileDialog> MakeMonitorFileDialog(QWidget* parent, MonitorFileDialog kind,
                                                   const QString& folder) {
    auto dialog = std::make_unique<QFileDialog>(parent);
    dialog->setNameFilter(QStringLiteral("config File (*.cfg)"));
    dialog->setDirectory(folder);
    if (kind == MonitorFileDialog::SaveAs) {
        dialog->setWindowTitle(QStringLiteral("Save As"));
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        dialog->setOption(QFileDialog::DontConfirmOverwrite, false);
        // A name typed without an extension is saved as a .cfg file.
        dialog->setDefaultSuffix(QStringLiteral("cfg"));
        dialog->selectFile(QStringLiteral("*.cfg"));
    } else {
        dialog->setWindowTitle(QStringLiteral("Open"));
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        dialog->setFileMode(QFileDialog::ExistingFile);
        dialog->selectFile(QStringLiteral("monitor.cfg"));
    }
    return dialog;
}

QString ChooseMonitorFile(QWidget* parent, MonitorFileDialog kind, const QString& folder) {
    const auto dialog = MakeMonitorFileDialog(parent, kind, folder);
    if (dialog->exec() != QDialog::Accepted)
        return {};
    return dialog->selectedFiles().value(0);
}

std::filesystem::path LocalPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

} // namespace kestrel

using namespace kestrel;

CFileCommands::CFileCommands(QWidget* parent, std::filesystem::path cfg_dir, DeviceTable& monitor,
                             ListHooks& hooks, Notifier& notifier)
    : openUrl([](const QUrl& url) { return QDesktopServices::openUrl(url); }), parent_(parent),
      cfg_dir_(std::move(cfg_dir)), monitor_(monitor), hooks_(hooks), notifier_(notifier) {
    chooseFile = [folder = QFile::decodeName(cfg_dir_.c_str())](QWidget* owner,
                                                                MonitorFileDialog kind) {
        return ChooseMonitorFile(owner, kind, folder);
    };
}

void CFileCommands::LoadAtStartUp() {
    LoadMonitorAtStartUp(MonitorFilePath(cfg_dir_), monitor_, hooks_, notifier_);
}

void CFileCommands::Save() {
    SaveMonitorFile(MonitorFilePath(cfg_dir_), monitor_, notifier_);
}

void CFileCommands::SaveAs() {
    const QString chosen = chooseFile(parent_, MonitorFileDialog::SaveAs);
    if (chosen.isEmpty())
        return;
    SaveMonitorFile(LocalPath(chosen), monitor_, notifier_);
}

void CFileCommands::Load() {
    const QString chosen = chooseFile(parent_, MonitorFileDialog::Load);
    if (chosen.isEmpty())
        return;
    AddMonitorFile(LocalPath(chosen), monitor_, hooks_, notifier_);
}

void CFileCommands::ViewLog() {
    // The platform's viewer for a local text file. The older files
    // (syslog.log.1 ...) are beside it for whoever wants them.
    const auto log = EventLogPath(cfg_dir_);
    if (openUrl(QUrl::fromLocalFile(QFile::decodeName(log.c_str()))))
        return;
    // Otherwise the command would seem to do nothing at all.
    const std::string text = std::string(kLogViewFail.text) + " " + log.string();
    notifier_.Show(kLogViewFail.WithText(text));
}

void CFileCommands::ClearLog() {
    // The command has no box: a file that cannot be removed is left as it is.
    ClearEventLog(EventLogPath(cfg_dir_));
}
