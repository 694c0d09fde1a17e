#pragma once
// Everything the program knows about one agent, in a fixed 300-byte record.
// The layout is also the record format of monitor.cfg, byte for byte:
// integers in machine order (little-endian), texts NUL-terminated.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <type_traits>

namespace kestrel {

inline constexpr uint16_t AGENT_MODE_LOADER = 100;

struct DeviceRecord {
    uint32_t utility_id;
    char mac_text[16];
    char product_name[41];
    char system_name[21];
    char location[21];
    char group_interval_text[6];
    char ip_text[20];
    char trap_ip_text[20];
    char subnet_mask_text[20];
    char gateway_text[20];
    char password[21];
    char new_password[22];
    uint32_t ip;
    uint32_t trap_ip;
    uint32_t subnet_mask;
    uint32_t gateway;
    int32_t group_interval;
    uint8_t raw_word[2];
    uint8_t unused[2];
    int32_t row_state;
    int32_t missed_polls;
    int32_t status_image;
    int32_t reply_flag;
    uint16_t reply_command;
    uint16_t protocol_version;
    uint16_t interface_version;
    uint16_t sub_version;
    uint16_t agent_mode;
    uint16_t dhcp_state;
    uint32_t field_mask[4];
};

static_assert(std::endian::native == std::endian::little,
              "monitor.cfg stores the record's integers little-endian");
static_assert(std::is_trivially_copyable_v<DeviceRecord>);
static_assert(std::is_standard_layout_v<DeviceRecord>);
static_assert(sizeof(DeviceRecord) == 300);
static_assert(offsetof(DeviceRecord, mac_text) == 4);
static_assert(offsetof(DeviceRecord, product_name) == 20);
static_assert(offsetof(DeviceRecord, system_name) == 61);
static_assert(offsetof(DeviceRecord, location) == 82);
static_assert(offsetof(DeviceRecord, group_interval_text) == 103);
static_assert(offsetof(DeviceRecord, ip_text) == 109);
static_assert(offsetof(DeviceRecord, trap_ip_text) == 129);
static_assert(offsetof(DeviceRecord, subnet_mask_text) == 149);
static_assert(offsetof(DeviceRecord, gateway_text) == 169);
static_assert(offsetof(DeviceRecord, password) == 189);
static_assert(offsetof(DeviceRecord, new_password) == 210);
static_assert(offsetof(DeviceRecord, ip) == 232);
static_assert(offsetof(DeviceRecord, trap_ip) == 236);
static_assert(offsetof(DeviceRecord, subnet_mask) == 240);
static_assert(offsetof(DeviceRecord, gateway) == 244);
static_assert(offsetof(DeviceRecord, group_interval) == 248);
static_assert(offsetof(DeviceRecord, raw_word) == 252);
static_assert(offsetof(DeviceRecord, unused) == 254);
static_assert(offsetof(DeviceRecord, row_state) == 256);
static_assert(offsetof(DeviceRecord, missed_polls) == 260);
static_assert(offsetof(DeviceRecord, status_image) == 264);
static_assert(offsetof(DeviceRecord, reply_flag) == 268);
static_assert(offsetof(DeviceRecord, reply_command) == 272);
static_assert(offsetof(DeviceRecord, protocol_version) == 274);
static_assert(offsetof(DeviceRecord, interface_version) == 276);
static_assert(offsetof(DeviceRecord, sub_version) == 278);
static_assert(offsetof(DeviceRecord, agent_mode) == 280);
static_assert(offsetof(DeviceRecord, dhcp_state) == 282);
static_assert(offsetof(DeviceRecord, field_mask) == 284);

inline constexpr std::size_t kRecordSize = sizeof(DeviceRecord);

// dhcp_state values
inline constexpr uint16_t kDhcpDisabled = 0;
inline constexpr uint16_t kDhcpEnabled = 1;
inline constexpr uint16_t kDhcpNotReported = 2;

// row_state values
inline constexpr int32_t kRowNew = 0;
inline constexpr int32_t kRowKnown = 1;
inline constexpr int32_t kRowNotAlive = 2;

// status images
inline constexpr int32_t kImageNone = -1;
inline constexpr int32_t kImageNewTrap = 0;
inline constexpr int32_t kImageNotAlive = 1;

// reply_flag values: whether the agent has answered since its last poll
// was accounted.
inline constexpr int32_t kNotReplied = 0;
inline constexpr int32_t kReplied = 1;

inline void ClearRecord(DeviceRecord& r) {
    std::memset(&r, 0, sizeof r);
}

inline DeviceRecord ZeroRecord() {
    DeviceRecord r;
    ClearRecord(r);
    return r;
}

// The text of a record field: up to its first NUL, never past the field.
template <std::size_t N> std::string_view FieldText(const char (&field)[N]) {
    const void* nul = std::memchr(field, 0, N);
    return {field, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - field) : N};
}

// Stores text into a field, cut to fit and always NUL-terminated; the rest of
// the field is cleared.
template <std::size_t N> void SetFieldText(char (&field)[N], std::string_view text) {
    const std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), n);
}

inline std::span<const uint8_t, kRecordSize> RecordBytes(const DeviceRecord& r) {
    return std::span<const uint8_t, kRecordSize>(reinterpret_cast<const uint8_t*>(&r), kRecordSize);
}

} // namespace kestrel
