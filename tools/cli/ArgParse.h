#pragma once
// A subcommand's arguments: options with a value (--name VALUE or
// --name=VALUE), switches, and the positional words in order.

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kestrel::cli {

struct ParsedArgs {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values; // by option name, without "--"
    std::set<std::string> switches;
    bool help = false;
    std::string error; // empty when the words were understood

    std::optional<std::string> Value(const std::string& name) const;
    bool Has(const std::string& name) const { return switches.count(name) != 0; }
};

ParsedArgs ParseArgs(const std::vector<std::string>& words, const std::set<std::string>& valued,
                     const std::set<std::string>& switches);

// A whole number of seconds, at least `minimum`; nothing when it is not one.
std::optional<int> ParseSeconds(const std::string& text, int minimum);
// Seconds with an optional fraction ("2", "0.5") as milliseconds, above 0.
std::optional<int> ParseTimeoutMs(const std::string& text);

} // namespace kestrel::cli
