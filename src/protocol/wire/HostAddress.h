#pragma once
// Whether an IPv4 address (first octet most significant) names a single host:
// not a network or broadcast address of its class, not loopback, not class D/E.

#include <cstdint>

namespace kestrel {

bool IsLegalHostAddress(uint32_t address);

} // namespace kestrel
