#pragma once
// The one text encoding between the command line and the agents: the
// agents' 8-bit fields are Latin-1 (as the window shows them), arguments
// arrive as UTF-8. Agents' texts are shown through TerminalText (UTF-8) and
// JSON; a text for an agent is converted here, and a character Latin-1
// cannot hold is refused, never replaced.

#include <QString>

#include <optional>
#include <string>

namespace kestrel::cli {

// The first character of `text` outside Latin-1, or nothing.
std::optional<char32_t> FirstNonLatin1(const QString& text);

// The text as the agents store it (one byte a character). Nothing after
// saying on standard error which character of `what` cannot be stored
// (the caller exits kExitRefusedInput).
std::optional<std::string> ToAgentText(const QString& text, const std::string& what);

} // namespace kestrel::cli
