#pragma once
// The cfg folder made ready before anything reads it, the same way for the
// window and the command line: only the per-user folder is made and given
// the installed define.ecf; a folder from KESTREL_CFG_DIR or beside the
// program is used as it is.

#include "core/CfgDirectory.h"

#include <QString>

namespace kestrel {

// Why the folder could not be made ready, or an empty string.
QString PrepareCfgLocation(const CfgLocation& cfg, const QString& program_dir);

// Where the folder came from, in words: "from KESTREL_CFG_DIR", ...
QString CfgSourceText(CfgSource source);

} // namespace kestrel
