#pragma once
// Literal bytes of set requests to the agent 0a1b2c3d4e5f from utility
// 4B455354, written from the header layout.

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace set_bytes {

using Bytes = std::vector<uint8_t>;

inline Bytes Header(uint8_t command, bool dhcp_refresh = false, uint16_t sequence = 0x0102) {
    const auto seq_high = static_cast<uint8_t>(sequence >> 8);
    const auto seq_low = static_cast<uint8_t>(sequence & 0xff);
    // clang-format off
    return {
        0x00, 0x02,                                // protocol_version 2
        0x00, uint8_t(dhcp_refresh ? 1 : 0),       // sub_version
        0x0a, 0x1b, 0x2c, 0x3d, 0x4e, 0x5f,        // mac
        0x00, uint8_t(dhcp_refresh ? 3 : 0),       // interface_version
        0x00, command,                             // command
        0x00, 0x00,                                // status
        0x4B, 0x45, 0x53, 0x54,                    // utility_id
        0, 0, 0, 0, 0, 0,                          // reserved
        seq_high, seq_low,                         // sequence
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,        // reserved
    };
    // clang-format on
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

} // namespace set_bytes
