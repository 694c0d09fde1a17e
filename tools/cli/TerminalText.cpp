#include "TerminalText.h"

namespace kestrel::cli {

namespace {

constexpr char kHex[] = "0123456789abcdef";

bool IsControl(unsigned char c) {
    return c < 0x20 || (c >= 0x7f && c <= 0x9f);
}

} // namespace

std::string TerminalText(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\') {
            shown += "\\\\";
        } else if (c == '\n') {
            shown += "\\n";
        } else if (c == '\r') {
            shown += "\\r";
        } else if (c == '\t') {
            shown += "\\t";
        } else if (IsControl(c)) {
            shown += "\\x";
            shown += kHex[c >> 4];
            shown += kHex[c & 0xf];
        } else if (c >= 0xa0) {
            shown += static_cast<char>(0xc0 | c >> 6);
            shown += static_cast<char>(0x80 | (c & 0x3f));
        } else {
            shown += ch;
        }
    }
    return shown;
}

std::size_t TerminalWidth(std::string_view shown) {
    std::size_t width = 0;
    for (const char c : shown)
        width += (static_cast<unsigned char>(c) & 0xc0) != 0x80; // not a continuation byte
    return width;
}

std::string JsonText(const QJsonDocument& document, QJsonDocument::JsonFormat format) {
    const QByteArray json = document.toJson(format);
    std::string text;
    text.reserve(static_cast<std::size_t>(json.size()));
    for (qsizetype i = 0; i < json.size(); ++i) {
        const auto c = static_cast<unsigned char>(json[i]);
        const auto next = i + 1 < json.size() ? static_cast<unsigned char>(json[i + 1]) : 0;
        // Only strings hold them: DEL as itself, U+0080-U+009F as 0xC2 then
        // 0x80-0x9F.
        if (c == 0x7f || (c == 0xc2 && next >= 0x80 && next <= 0x9f)) {
            const unsigned code = c == 0x7f ? c : next;
            text += "\\u00";
            text += kHex[code >> 4];
            text += kHex[code & 0xf];
            i += c == 0xc2;
        } else {
            text += static_cast<char>(c);
        }
    }
    return text;
}

} // namespace kestrel::cli
