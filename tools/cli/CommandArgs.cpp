#include "CommandArgs.h"

#include <charconv>

namespace kestrel::cli {

std::optional<QString> CommandArgs::Text(const std::string& name) const {
    const auto it = values.find(name);
    if (it == values.end() || it->second.isEmpty())
        return std::nullopt;
    return it->second.constLast();
}

std::optional<std::string> CommandArgs::Value(const std::string& name) const {
    if (const auto text = Text(name))
        return text->toStdString();
    return std::nullopt;
}

std::optional<int> ParseSeconds(const std::string& text, int minimum) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || text.empty() || value < minimum || value > 86400)
        return std::nullopt;
    return value;
}

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
