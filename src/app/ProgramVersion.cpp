#include "ProgramVersion.h"

namespace kestrel {

QString AboutVersionText(int major, int minor, int patch) {
    return QStringLiteral("Kestrel Utility Version %1.%2.%3")
        .arg(major)
        .arg(minor, 2, 10, QLatin1Char('0'))
        .arg(patch, 2, 10, QLatin1Char('0'));
}

QString AboutVersionText() {
    return AboutVersionText(KESTREL_VERSION_MAJOR, KESTREL_VERSION_MINOR, KESTREL_VERSION_PATCH);
}

} // namespace kestrel
