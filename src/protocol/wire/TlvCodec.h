#pragma once
// TLV fields after the header: 16-bit type, 16-bit length counting the 4-byte
// head, then the value. Big-endian on the wire.

#include "protocol/wire/DeviceRecord.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/wire/PacketHeader.h"

namespace kestrel {

inline constexpr uint16_t TLV_PRODUCT_NAME = 1;
inline constexpr uint16_t TLV_SYSTEM_NAME = 2;
inline constexpr uint16_t TLV_LOCATION = 3;
inline constexpr uint16_t TLV_IP_ADDRESS = 4;
inline constexpr uint16_t TLV_SUBNET_MASK = 5;
inline constexpr uint16_t TLV_GATEWAY = 6;
inline constexpr uint16_t TLV_TRAP_IP = 7;
inline constexpr uint16_t TLV_NEW_PASSWORD = 8;
inline constexpr uint16_t TLV_PASSWORD = 9;
inline constexpr uint16_t TLV_DHCP = 10;
inline constexpr uint16_t TLV_RAW_WORD = 21;
inline constexpr uint16_t TLV_GROUP_INTERVAL = 22;
inline constexpr uint16_t TLV_FIELD_MASK = 129;

// What a configuration-type set request does to DHCP.
enum class DhcpChange { Untouched = 0, SwitchOff = 1, SwitchOn = 2 };

// Fills the record from the TLV area of a received datagram (the bytes after
// the 40-byte header). Never reads past the area, never writes past a record
// field, and stops at the first field it cannot take whole.
void DecodeReplyFields(std::span<const uint8_t> tlv_area, DeviceRecord& record);

// The fields of a configuration-type set request, written at out (after the
// header). Returns the bytes written. Writing TLV_IP_ADDRESS also sets
// pending_set_ip to the record's ip.
std::size_t EncodeSetFields(std::span<uint8_t> out, const DeviceRecord& record,
                            DhcpChange dhcp_change, uint32_t& pending_set_ip);

// The fields of a password change. Returns the bytes written.
std::size_t EncodePasswordFields(std::span<uint8_t> out, const DeviceRecord& record);

// One TLV_PASSWORD with the given bytes, whatever the mask. Returns size + 4.
std::size_t AppendPasswordField(std::span<uint8_t> out, std::string_view password);

// 12 lowercase hex digits, first byte first.
std::string FormatMacText(const MacBytes& mac);

// Pairs of hex digits (either case) to bytes; an odd last digit is ignored.
// Fails, giving nothing, when any character is not a hex digit.
std::optional<std::vector<uint8_t>> ParseHexText(std::string_view text);

} // namespace kestrel
