#include "protocol/wire/HostAddress.h"

namespace kestrel {

namespace {
bool AllZeros(uint32_t value, uint32_t mask) {
    return (value & mask) == 0;
}
bool AllOnes(uint32_t value, uint32_t mask) {
    return (value & mask) == mask;
}
} // namespace

bool IsLegalHostAddress(uint32_t a) {
    const uint32_t first = a >> 24;
    if (first <= 127) {
        constexpr uint32_t host = 0x00FFFFFF;
        return first != 0 && first != 127 && !AllZeros(a, host) && !AllOnes(a, host);
    }
    if (first <= 191) {
        constexpr uint32_t net = 0x3FFF0000; // bits 16 to 29
        constexpr uint32_t host = 0x0000FFFF;
        return !AllZeros(a, net) && !AllZeros(a, host) && !AllOnes(a, host);
    }
    if (first <= 223) {
        constexpr uint32_t net = 0x1FFFFF00; // bits 8 to 28
        constexpr uint32_t host = 0x000000FF;
        return !AllZeros(a, net) && !AllZeros(a, host) && !AllOnes(a, host);
    }
    return false;
}

} // namespace kestrel
