#pragma once
// The user's cfg folder on an installed program's first start: made, and
// given a copy of the define.ecf the package ships. An existing define.ecf
// is the user's and is never replaced.

#include <QString>

namespace kestrel {

// The shipped define.ecf: share/kestrel-utility under the program's prefix
// (/usr/bin -> /usr/share/kestrel-utility), else the first one in the
// system's data folders (XDG_DATA_DIRS). Empty when there is none.
QString FindShippedDefineEcf(const QString& program_dir);

// Makes the folder and copies the shipped file in when the folder has no
// define.ecf. Returns why it could not, or an empty string: the folder the
// system refused to make, or the file it refused to write, with its reason.
QString PrepareUserCfgFolder(const QString& folder, const QString& shipped_define_ecf);

} // namespace kestrel
