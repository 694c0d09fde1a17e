#include "AgentText.h"

#include <QList>
#include <QStringView>

#include <cstdio>

namespace kestrel::cli {

std::optional<char32_t> FirstNonLatin1(const QString& text) {
    for (const uint c : QStringView(text).toUcs4())
        if (c > 0xff)
            return static_cast<char32_t>(c);
    return std::nullopt;
}

std::optional<std::string> ToAgentText(const QString& text, const std::string& what) {
    if (const auto bad = FirstNonLatin1(text)) {
        const QString shown = QString::fromUcs4(&*bad, 1);
        std::fprintf(stderr,
                     "kestrel-cli: %s: the character '%s' (U+%04X) cannot be stored: agents "
                     "keep texts in Latin-1 (ISO 8859-1)\n",
                     what.c_str(), shown.toUtf8().constData(), static_cast<unsigned>(*bad));
        return std::nullopt;
    }
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace kestrel::cli
