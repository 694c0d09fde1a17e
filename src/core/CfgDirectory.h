#pragma once
// Where define.ecf, monitor.cfg and syslog.log live, first match wins:
//   1. KESTREL_CFG_DIR, when it is set (tests, the demo, another folder);
//   2. "cfg" beside the program, when that folder exists (a portable copy,
//      the build tree);
//   3. the user's own folder, <config home>/kestrel-utility, normally
//      ~/.config/kestrel-utility (an installed program).

#include <QString>

namespace kestrel {

enum class CfgSource { Environment, BesideProgram, UserFolder };

struct CfgLocation {
    QString path;
    CfgSource source = CfgSource::UserFolder;
};

// What the choice depends on, gathered by CurrentCfgLocation.
struct CfgInputs {
    QString environment; // KESTREL_CFG_DIR, empty when unset
    QString program_dir;
    QString config_home; // e.g. ~/.config
};

CfgLocation ResolveCfgDirectory(const CfgInputs& inputs);

// The choice for this process.
CfgLocation CurrentCfgLocation();

QString GetCfgDirectory();

} // namespace kestrel
