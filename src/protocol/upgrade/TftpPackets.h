#pragma once
// The packets of a TFTP write (RFC 1350 layout, big-endian): what the
// utility sends and what it reads from the device.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

inline constexpr uint16_t kTftpOpWriteRequest = 2;
inline constexpr uint16_t kTftpOpData = 3;
inline constexpr uint16_t kTftpOpAck = 4;
inline constexpr uint16_t kTftpOpError = 5;

inline constexpr std::size_t kTftpBlockSize = 512;
// Every datagram from the device is read with this limit.
inline constexpr std::size_t kTftpReadLimit = 512;
inline constexpr std::string_view kTftpMode = "octet";

// Opcode 2, the file name, a NUL, "octet", a NUL.
std::vector<uint8_t> BuildWriteRequest(std::string_view file_name);
// Opcode 3, the block number, the block's bytes (0 to 512).
std::vector<uint8_t> BuildDataPacket(uint16_t block, std::span<const uint8_t> bytes);

// What a received datagram says. An ACK carries its block number in
// `number`; an ERROR its error code there and its message (up to its NUL or
// the end of the datagram) in `text`.
struct TftpPacket {
    uint16_t opcode = 0;
    uint16_t number = 0;
    std::string text;
};
// Nothing for a datagram shorter than opcode and number. Bytes past the read
// limit are not looked at.
std::optional<TftpPacket> ParseTftpPacket(std::span<const uint8_t> datagram);

} // namespace kestrel
