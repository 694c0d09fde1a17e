#pragma once
// The fixed 40-byte header that starts every datagram exchanged with an agent.
// Big-endian on the wire; a short datagram reads as if padded with zero bytes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace kestrel {

inline constexpr std::size_t kHeaderSize = 40;
inline constexpr std::size_t kMaxDatagram = 1500;
inline constexpr uint16_t kProtocolVersion = 2;

// Command codes.
inline constexpr uint16_t CMD_DISCOVERY = 1;
inline constexpr uint16_t CMD_DISCOVERY_REPLY = 2;
inline constexpr uint16_t CMD_SET = 3;
inline constexpr uint16_t CMD_SET_REPLY = 4;
inline constexpr uint16_t CMD_POLL = 5;
inline constexpr uint16_t CMD_UNICAST_SET = 7;
inline constexpr uint16_t CMD_UNICAST_SET_REPLY = 8;
inline constexpr uint16_t CMD_TRAP = 9;
inline constexpr uint16_t CMD_UPGRADE_TRIGGER = 10;
inline constexpr uint16_t CMD_UPGRADE_TRIGGER_REPLY = 11;
inline constexpr uint16_t CMD_LOADER_REPLY = 12;

// Reply statuses (low 4 bits of the status field).
inline constexpr int STATUS_OK = 0;
inline constexpr int STATUS_PROTOCOL_VERSION_ERROR = 1;
inline constexpr int STATUS_PASSWORD_ERROR = 2;
inline constexpr int STATUS_COMMAND_ERROR = 3;
inline constexpr int STATUS_PARAMETER_ERROR = 4;
inline constexpr int STATUS_ACL_ERROR = 5;
inline constexpr int STATUS_DHCP_REFRESH_FAIL = 6;

using MacBytes = std::array<uint8_t, 6>;

struct PacketHeader {
    uint16_t protocol_version = 0;
    uint16_t sub_version = 0;
    MacBytes mac{};
    uint16_t interface_version = 0;
    uint16_t command = 0;
    uint16_t status = 0;
    uint32_t utility_id = 0;
    uint16_t sequence = 0;

    // The reply status the program acts on: only the low 4 bits count.
    int ReplyStatus() const { return status & 0x0F; }
};

// Reads a header from the start of a datagram; bytes missing from a short
// datagram read as zero.
PacketHeader DecodeHeader(std::span<const uint8_t> datagram);

// Writes all 40 bytes of the header (reserved bytes zero).
void EncodeHeader(const PacketHeader& header, std::span<uint8_t, kHeaderSize> out);

// Clears 40 bytes and writes protocol version 2, sub-version 0, the command
// and the utility identifier. Returns 40.
std::size_t BuildRequestHeader(std::span<uint8_t, kHeaderSize> out, uint16_t command,
                               uint32_t utility_id);

// Header of a request aimed at one device: set, password change, DHCP refresh
// and upgrade trigger. A DHCP refresh carries sub-version 1 and interface
// version 3.
struct TargetedRequest {
    uint16_t command = CMD_SET;
    MacBytes mac{};
    uint32_t utility_id = 0;
    uint16_t sequence = 0;
    bool dhcp_refresh = false;
};
std::size_t BuildTargetedHeader(std::span<uint8_t, kHeaderSize> out,
                                const TargetedRequest& request);

// The message shown for a non-zero reply status; empty for STATUS_OK.
std::string ReplyStatusMessage(int status);

// "%d.%03x.%03d" of protocol version, sub-version and interface version.
std::string FormatVersionText(uint16_t protocol_version, uint16_t sub_version,
                              uint16_t interface_version);

} // namespace kestrel
