#pragma once

#include <QString>

namespace kestrel {

// The directory that holds define.ecf, monitor.cfg and syslog.log: "cfg"
// beside the program, or KESTREL_CFG_DIR when that is set.
QString GetCfgDirectory();

} // namespace kestrel
