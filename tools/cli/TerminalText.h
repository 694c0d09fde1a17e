#pragma once
// What agents and peers say, made safe to print: their texts are 8-bit, one
// character per byte, and may carry control characters that would move the
// cursor, retitle the window or fake a line on a terminal. Every printer of
// kestrel-cli (tables, watch lines, the boxes' texts that carry an agent's
// words, JSON) shows them through these.

#include <QJsonDocument>

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrel::cli {

// The text as UTF-8 with every control character visible as an escape:
// "\n", "\r", "\t", "\\" for a backslash, and "\xNN" for the other C0
// controls (ESC is "\x1b"), DEL and the C1 controls 0x80-0x9F. Bytes
// 0xA0-0xFF are their Latin-1 characters.
std::string TerminalText(std::string_view text);

// The width on a terminal of a TerminalText result: one column a character.
std::size_t TerminalWidth(std::string_view shown);

// A JSON document as UTF-8 text. Beyond Qt's escapes of the C0 controls,
// DEL and the C1 controls are written as \u007f and \u0080-\u009f too.
std::string JsonText(const QJsonDocument& document, QJsonDocument::JsonFormat format);

} // namespace kestrel::cli
