#pragma once
// IPv4 values are held with the first octet most significant.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

std::string FormatIpv4(uint32_t address);
// Strict dotted-decimal: four numbers 0-255; nothing else.
std::optional<uint32_t> ParseIpv4(std::string_view text);

} // namespace kestrel
