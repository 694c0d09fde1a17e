#include "PasswordSource.h"

#include "CliNotifier.h"
#include "ExitCodes.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace kestrel::cli {

namespace {

struct StdinLine {
    std::string text;
    bool too_long = false;
};

// Standard input is read once; its first line is the password, its second
// the new one. Nothing is read past an over-long line.
const std::vector<StdinLine>& StdinLines() {
    static const std::vector<StdinLine> lines = [] {
        std::vector<StdinLine> read;
        while (read.size() < 2) {
            StdinLine line;
            bool ended = false; // by a line feed
            int c = 0;
            while ((c = std::getchar()) != EOF) {
                if (c == '\n') {
                    ended = true;
                    break;
                }
                if (line.text.size() == kMaxSecretLine) {
                    line.too_long = true;
                    break;
                }
                line.text.push_back(static_cast<char>(c));
            }
            if (!ended && !line.too_long && line.text.empty())
                break; // the end of the input
            if (!line.text.empty() && line.text.back() == '\r')
                line.text.pop_back();
            read.push_back(std::move(line));
            if (read.back().too_long || !ended)
                break;
        }
        return read;
    }();
    return lines;
}

std::optional<std::string> FromSources(const CommandArgs& args, Secret which, SecretRead& read) {
    const bool current = which == Secret::Current;
    const std::string option = current ? "password" : "new-password";
    if (auto value = args.Value(option))
        return value;
    if (const auto name = args.Value(option + "-env")) {
        if (const char* value = std::getenv(name->c_str()))
            return std::string(value);
        read.error = "environment variable " + *name + " is not set";
        return std::nullopt;
    }
    if (args.Has("password-stdin")) {
        const std::size_t line = current ? 0 : 1;
        if (StdinLines().size() > line) {
            read.too_long = StdinLines()[line].too_long;
            return StdinLines()[line].text;
        }
        read.error =
            std::string("standard input holds no ") + (current ? "password" : "new password");
        return std::nullopt;
    }
    if (const char* value = std::getenv(current ? "KESTREL_PASSWORD" : "KESTREL_NEW_PASSWORD"))
        return std::string(value);
    return std::nullopt;
}

} // namespace

SecretRead ReadSecret(const CommandArgs& args, Secret which) {
    SecretRead read;
    read.value = FromSources(args, which, read);
    if (read.value && read.value->size() > kMaxPasswordLength)
        read.too_long = true;
    if (read.too_long)
        read.value.reset();
    return read;
}

std::optional<std::string> NeedSecret(const CommandArgs& args, Secret which,
                                      const Message& too_long, int& code) {
    SecretRead read = ReadSecret(args, which);
    if (read.too_long) {
        CliNotifier().Show(too_long);
        code = kExitRefusedInput;
    } else if (!read.value) {
        std::fprintf(stderr, "kestrel-cli: %s\n",
                     !read.error.empty() ? read.error.c_str()
                     : which == Secret::Current
                         ? "no password: give --password, --password-env, --password-stdin "
                           "or KESTREL_PASSWORD"
                         : "no new password: give --new-password, --new-password-env, "
                           "--password-stdin or KESTREL_NEW_PASSWORD");
        code = kExitUsage;
    }
    return read.value;
}

} // namespace kestrel::cli
