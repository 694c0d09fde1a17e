#include "MacText.h"

#include <cctype>

namespace kestrel::cli {

std::optional<std::string> MacDigits(std::string_view text) {
    std::string digits;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (std::isxdigit(c))
            digits.push_back(static_cast<char>(std::tolower(c)));
        else if ((c == ':' || c == '-') && i % 3 == 2)
            continue;
        else
            return std::nullopt;
    }
    if (digits.size() != 12)
        return std::nullopt;
    return digits;
}

} // namespace kestrel::cli
