#include "CfgFirstStart.h"

#include "protocol/files/FileBytes.h"
#include "protocol/settings/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace kestrel {

namespace {
const QString kShippedName = QStringLiteral("kestrel-utility/define.ecf");

std::filesystem::path Local(const QString& path) {
    return QFile::encodeName(path).toStdString();
}
} // namespace

QString FindShippedDefineEcf(const QString& program_dir) {
    const QString beside =
        QDir::cleanPath(program_dir + QStringLiteral("/../share/") + kShippedName);
    if (QFileInfo(beside).isFile())
        return beside;
    return QStandardPaths::locate(QStandardPaths::GenericDataLocation, kShippedName);
}

QString PrepareUserCfgFolder(const QString& folder, const QString& shipped_define_ecf) {
    if (!QDir().mkpath(folder))
        return QStringLiteral("Cannot create the folder %1").arg(folder);
    const QString target = QDir(folder).filePath(QStringLiteral("define.ecf"));
    if (QFileInfo::exists(target))
        return {};
    if (shipped_define_ecf.isEmpty())
        return QStringLiteral("No define.ecf was installed with the program to copy into %1")
            .arg(folder);
    const FileRead shipped = ReadFileBytes(Local(shipped_define_ecf), kLoaderMaxBytes, false);
    if (shipped.status != ReadStatus::Ok)
        return QStringLiteral("Cannot read %1").arg(shipped_define_ecf);
    if (!ReplaceFileContents(Local(target), shipped.bytes))
        return QStringLiteral("Cannot write %1").arg(target);
    return {};
}

} // namespace kestrel
