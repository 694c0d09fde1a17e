#pragma once
// A MAC address as people write it: 12 hex digits, with ':' or '-' between
// the pairs or without.

#include <optional>
#include <string>
#include <string_view>

namespace kestrel::cli {

// The 12 digits in lower case, as the tables hold them; nothing when the
// text is no MAC address.
std::optional<std::string> MacDigits(std::string_view text);

} // namespace kestrel::cli
