#include "CfgDirectory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace kestrel {

CfgLocation ResolveCfgDirectory(const CfgInputs& inputs) {
    if (!inputs.environment.isEmpty())
        return {QDir::cleanPath(inputs.environment), CfgSource::Environment};
    const QString beside = QDir::cleanPath(inputs.program_dir + QStringLiteral("/cfg"));
    // Without a home there is no user folder either; the old place then.
    if (QFileInfo(beside).isDir() || inputs.config_home.isEmpty())
        return {beside, CfgSource::BesideProgram};
    return {QDir::cleanPath(inputs.config_home + QStringLiteral("/kestrel-utility")),
            CfgSource::UserFolder};
}

CfgLocation CurrentCfgLocation() {
    return ResolveCfgDirectory(
        {.environment = qEnvironmentVariable("KESTREL_CFG_DIR"),
         .program_dir = QCoreApplication::applicationDirPath(),
         .config_home = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)});
}

QString GetCfgDirectory() {
    return CurrentCfgLocation().path;
}

} // namespace kestrel
