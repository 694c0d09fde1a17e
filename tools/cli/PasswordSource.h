#pragma once
// Passwords stay out of the process list: besides --password there are
// --password-env VAR, --password-stdin (first line of standard input) and
// KESTREL_PASSWORD. The new password of passwd comes the same ways
// (--new-password, --new-password-env, the second line of standard input
// with --password-stdin, KESTREL_NEW_PASSWORD).

#include "ArgParse.h"

#include <optional>
#include <string>

namespace kestrel::cli {

enum class Secret { Current, New };

// The password, or nothing when no source gave one. `error` is set when a
// named source failed (an unset variable, no such line on standard input).
std::optional<std::string> ReadSecret(const ParsedArgs& args, Secret which, std::string& error);

} // namespace kestrel::cli
