#include "PasswordSource.h"

#include <cstdlib>
#include <iostream>
#include <vector>

namespace kestrel::cli {

namespace {

// Standard input is read once; its first line is the password, its second
// the new one.
const std::vector<std::string>& StdinLines() {
    static const std::vector<std::string> lines = [] {
        std::vector<std::string> read;
        std::string line;
        while (read.size() < 2 && std::getline(std::cin, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            read.push_back(line);
        }
        return read;
    }();
    return lines;
}

} // namespace

std::optional<std::string> ReadSecret(const ParsedArgs& args, Secret which, std::string& error) {
    const bool current = which == Secret::Current;
    const std::string option = current ? "password" : "new-password";
    if (auto value = args.Value(option))
        return value;
    if (const auto name = args.Value(option + "-env")) {
        if (const char* value = std::getenv(name->c_str()))
            return std::string(value);
        error = "environment variable " + *name + " is not set";
        return std::nullopt;
    }
    if (args.Has("password-stdin")) {
        const std::size_t line = current ? 0 : 1;
        if (StdinLines().size() > line)
            return StdinLines()[line];
        error = std::string("standard input holds no ") + (current ? "password" : "new password");
        return std::nullopt;
    }
    if (const char* value = std::getenv(current ? "KESTREL_PASSWORD" : "KESTREL_NEW_PASSWORD"))
        return std::string(value);
    return std::nullopt;
}

} // namespace kestrel::cli
