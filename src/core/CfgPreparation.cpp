#include "CfgPreparation.h"

#include "core/CfgFirstStart.h"

namespace kestrel {

QString PrepareCfgLocation(const CfgLocation& cfg, const QString& program_dir) {
    if (cfg.source != CfgSource::UserFolder)
        return {};
    return PrepareUserCfgFolder(cfg.path, FindShippedDefineEcf(program_dir));
}

QString CfgSourceText(CfgSource source) {
    switch (source) {
    case CfgSource::Environment:
        return QStringLiteral("the cfg folder named by KESTREL_CFG_DIR");
    case CfgSource::BesideProgram:
        return QStringLiteral("the cfg folder beside the program");
    case CfgSource::UserFolder:
        break;
    }
    return QStringLiteral("the per-user cfg folder");
}

} // namespace kestrel
