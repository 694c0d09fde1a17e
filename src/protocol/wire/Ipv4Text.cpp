#include "protocol/wire/Ipv4Text.h"

#include <charconv>

namespace kestrel {

std::string FormatIpv4(uint32_t a) {
    return std::to_string(a >> 24) + '.' + std::to_string((a >> 16) & 0xFF) + '.' +
           std::to_string((a >> 8) & 0xFF) + '.' + std::to_string(a & 0xFF);
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
