#pragma once
// The program's texts are 8-bit, one character per byte, as agents and the
// files carry them; these convert them to and from Qt's strings.

#include <QString>

#include <string>
#include <string_view>

namespace kestrel {

inline QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Characters beyond Latin-1 become '?'.
inline std::string Latin1Bytes(const QString& text) {
    return text.toLatin1().toStdString();
}

} // namespace kestrel
