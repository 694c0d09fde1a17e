#pragma once
// Passwords stay out of the process list: besides --password there are
// --password-env VAR, --password-stdin (first line of standard input) and
// KESTREL_PASSWORD. The new password of passwd comes the same ways
// (--new-password, --new-password-env, the second line of standard input
// with --password-stdin, KESTREL_NEW_PASSWORD).

#include "CommandArgs.h"
#include "protocol/seams/Notifier.h"

#include <cstddef>
#include <optional>
#include <string>

namespace kestrel::cli {

enum class Secret { Current, New };

// What the dialogs' password fields take, whichever way it comes.
inline constexpr std::size_t kMaxPasswordLength = 20;
// A line of standard input is read up to this many bytes; a longer one is
// no password and is refused without reading on (/dev/zero has no end).
inline constexpr std::size_t kMaxSecretLine = 256;

struct SecretRead {
    std::optional<std::string> value; // nothing: no source gave one, or too long
    std::string error;                // a named source failed: an unset variable, no such line
    bool too_long = false;            // over kMaxPasswordLength characters
};

SecretRead ReadSecret(const CommandArgs& args, Secret which);

// The password a command needs. Nothing after saying why: no source gave
// one or a named source failed (code kExitUsage), or it is too long, said in
// the words the command's dialog has for it (code kExitRefusedInput).
std::optional<std::string> NeedSecret(const CommandArgs& args, Secret which,
                                      const Message& too_long, int& code);

} // namespace kestrel::cli
