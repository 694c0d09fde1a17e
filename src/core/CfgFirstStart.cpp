#include "CfgFirstStart.h"

#include "protocol/files/FileBytes.h"
#include "protocol/settings/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace kestrel {

namespace {
const QString kShippedName = QStringLiteral("kestrel-utility/define.ecf");

std::filesystem::path Local(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString Text(const std::string& local) {
    return QFile::decodeName(QByteArray::fromStdString(local));
}

// Makes the folder and whatever above it is missing, one level at a time,
// so that a failure names the very folder the system refused and its reason.
QString MakeFolder(const QString& folder) {
    namespace fs = std::filesystem;
    std::vector<fs::path> missing;
    for (fs::path level = Local(QDir::cleanPath(folder)); !level.empty();
         level = level.parent_path()) {
        std::error_code ec;
        const fs::file_status status = fs::status(level, ec);
        if (fs::is_directory(status))
            break;
        // A file in the way: making the folder under it (or over it, when
        // it is the folder's own name) says why.
        if (fs::exists(status)) {
            if (missing.empty())
                missing.push_back(level);
            break;
        }
        missing.push_back(level);
        if (level == level.parent_path())
            break;
    }
    for (auto level = missing.rbegin(); level != missing.rend(); ++level) {
        std::error_code ec;
        fs::create_directory(*level, ec);
        if (ec)
            return QStringLiteral("Cannot create the folder %1: %2")
                .arg(Text(level->string()), Text(ec.message()));
    }
    return {};
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
    if (QString problem = MakeFolder(folder); !problem.isEmpty())
        return problem;
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
        return QStringLiteral("Cannot write %1: %2")
            .arg(target, Text(std::generic_category().message(errno)));
    return {};
}

} // namespace kestrel
