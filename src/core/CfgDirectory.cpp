#include "CfgDirectory.h"

#include <QCoreApplication>
#include <QDir>

namespace kestrel {

QString GetCfgDirectory() {
    const QString overridden = qEnvironmentVariable("KESTREL_CFG_DIR");
    if (!overridden.isEmpty())
        return QDir::cleanPath(overridden);
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/cfg"));
}

} // namespace kestrel
