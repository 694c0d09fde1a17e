#pragma once
// A subcommand's arguments as the command line gave them: its options by
// long name (global ones included) and its positional words in order, the
// subcommand's own name left out. Texts are kept as Qt strings (decoded
// from UTF-8) and handed out as UTF-8 or as Qt strings.

#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kestrel::cli {

struct CommandArgs {
    std::vector<std::string> positional;       // UTF-8
    std::map<std::string, QStringList> values; // options with a value, every time given
    std::set<std::string> switches;

    bool Has(const std::string& name) const { return switches.count(name) != 0; }
    // The last value given, as UTF-8 (paths, numbers, addresses).
    std::optional<std::string> Value(const std::string& name) const;
    // The same as text, for what is converted to the agents' encoding.
    std::optional<QString> Text(const std::string& name) const;

    // The global options.
    bool json() const { return Has("json"); }
    bool csv() const { return Has("csv"); }
    bool quiet() const { return Has("quiet"); }
    bool verbose() const { return Has("verbose"); }
};

// A whole number of seconds, at least `minimum`; nothing when it is not one.
std::optional<int> ParseSeconds(const std::string& text, int minimum);
// Seconds with an optional fraction ("2", "0.5") as milliseconds, above 0.
std::optional<int> ParseTimeoutMs(const std::string& text);

} // namespace kestrel::cli
