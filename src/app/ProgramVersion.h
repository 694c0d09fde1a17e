#pragma once
// The program's version in the About box's words, taken from the project's
// version at build time, the same one that `--version` prints.

#include <QString>

namespace kestrel {

// "Kestrel Utility Version 1.06.00": minor and patch with two digits each.
QString AboutVersionText(int major, int minor, int patch);
// This build's line.
QString AboutVersionText();

} // namespace kestrel
