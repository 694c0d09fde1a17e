#include "ArgParse.h"

#include <charconv>

namespace kestrel::cli {

std::optional<std::string> ParsedArgs::Value(const std::string& name) const {
    const auto it = values.find(name);
    if (it == values.end())
        return std::nullopt;
    return it->second;
}

ParsedArgs ParseArgs(const std::vector<std::string>& words, const std::set<std::string>& valued,
                     const std::set<std::string>& switches) {
    ParsedArgs parsed;
    bool options_end = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (options_end || word.size() < 3 || word.compare(0, 2, "--") != 0) {
            if (word == "--") {
                options_end = true;
                continue;
            }
            if (!options_end && word.size() > 1 && word[0] == '-' && word != "-h") {
                parsed.error = "unknown option " + word;
                return parsed;
            }
            if (word == "-h")
                parsed.help = true;
            else
                parsed.positional.push_back(word);
            continue;
        }
        std::string name = word.substr(2);
        std::optional<std::string> value;
        if (const auto eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        if (name == "help") {
            parsed.help = true;
        } else if (valued.count(name)) {
            if (!value) {
                if (i + 1 >= words.size()) {
                    parsed.error = "option --" + name + " needs a value";
                    return parsed;
                }
                value = words[++i];
            }
            parsed.values[name] = *value;
        } else if (switches.count(name) && !value) {
            parsed.switches.insert(name);
        } else {
            parsed.error = "unknown option --" + name;
            return parsed;
        }
    }
    return parsed;
}

std::optional<int> ParseSeconds(const std::string& text, int minimum) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || text.empty() || value < minimum || value > 86400)
        return std::nullopt;
    return value;
}

} // namespace kestrel::cli

namespace kestrel::cli {

std::optional<int> ParseTimeoutMs(const std::string& text) {
    const std::size_t dot = text.find('.');
    const std::string whole = text.substr(0, dot);
    std::string fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
    if (fraction.size() > 3 || fraction.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const std::optional<int> seconds =
        whole.empty() ? std::optional<int>(0) : ParseSeconds(whole, 0);
    if (!seconds || (whole.empty() && fraction.empty()))
        return std::nullopt;
    fraction.resize(3, '0');
    const int ms = *seconds * 1000 + std::stoi(fraction);
    if (ms <= 0)
        return std::nullopt;
    return ms;
}

} // namespace kestrel::cli
