#include "protocol/wire/Ipv4Text.h"

#include <charconv>

namespace kestrel {

std::string FormatIpv4(uint32_t a) {
    // Built in the string's own buffer (15 characters at most): every reply
    // of a discovery formats addresses.
    std::string text;
    text.reserve(15);
    for (int shift = 24; shift >= 0; shift -= 8) {
        if (shift != 24)
            text += '.';
        char digits[3];
        char* end = std::to_chars(digits, digits + sizeof digits, (a >> shift) & 0xFFu).ptr;
        text.append(digits, static_cast<std::size_t>(end - digits));
    }
    return text;
}

std::optional<uint32_t> ParseIpv4(std::string_view text) {
    uint32_t value = 0;
    const char* p = text.data();
    const char* end = text.data() + text.size();
    for (int octet = 0; octet < 4; ++octet) {
        if (octet > 0) {
            if (p == end || *p != '.')
                return std::nullopt;
            ++p;
        }
        if (p == end || *p < '0' || *p > '9')
            return std::nullopt;
        unsigned part = 0;
        auto [next, ec] = std::from_chars(p, end, part);
        if (ec != std::errc{} || part > 255 || next - p > 3)
            return std::nullopt;
        p = next;
        value = (value << 8) | part;
    }
    if (p != end)
        return std::nullopt;
    return value;
}

} // namespace kestrel
