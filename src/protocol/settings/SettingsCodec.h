#pragma once
// The stored form of define.ecf, without any file access: a scrambled text
// body of six entries followed by a 2-byte checksum trailer.

#include "protocol/settings/ProtocolSettings.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

// Our scrambling key: printable bytes map through ((c - 32) * K + D) mod 96.
inline constexpr int kScrambleK = 53; // odd and not a multiple of 3: invertible mod 96
inline constexpr int kScrambleD = 41;

// Fixed widths of the values; the loader finds them by position.
inline constexpr std::size_t kUtilityIdWidth = 8;
inline constexpr std::size_t kBasePortWidth = 4;
inline constexpr std::size_t kMulticastGroupWidth = 15;
inline constexpr std::size_t kMaxTimerDigits = 9; // entry 5 is one digit

inline constexpr std::string_view kFlagKey = "multicast_timer_flag=";
inline constexpr std::string_view kTimerLengthKey = "strlen_multi_timer=";
inline constexpr std::string_view kTimerKey = "multicast_timer=";

// 16-bit wrapping sum of the bytes, folded twice into at most 0xFF.
uint8_t SettingsChecksum(std::span<const uint8_t> bytes);

// 0xFF - checksum, 0xFF: appended to a body, the whole sums to 0xFF.
std::array<uint8_t, 2> SettingsTrailer(std::span<const uint8_t> body);

// Bytes 32 to 127 are substituted; all others (CR, LF) are left alone.
uint8_t ScrambleByte(uint8_t c);
uint8_t UnscrambleByte(uint8_t c);
void Scramble(std::span<uint8_t> bytes);
void Unscramble(std::span<uint8_t> bytes);

// The six entries as the loader reads them.
struct SettingsEntries {
    uint32_t utility_id = 0;
    uint16_t base_port = 0;
    std::string multicast_group;
    int multicast_timer_flag = 0;
    int timer_length = 0; // entry 5: digits of entry 6
    int multicast_timer = 0;
};

// Reads the entries from the unscrambled body with its CR LF pairs removed.
// Values are found after the k-th "="; missing or malformed values read as 0
// (or an empty group).
SettingsEntries ParseSettingsText(std::string_view text);

struct DecodedSettings {
    bool checksum_ok = false;
    SettingsEntries entries;
};
// Checks and decodes a whole stored file, trailer included.
DecodedSettings DecodeSettingsImage(std::span<const uint8_t> stored);

// The program binds P, P+1 and P+6 and sends to P+2: every one must be a
// real port, so P is 1 to 65529.
inline constexpr uint32_t kMaxBasePort = 65535 - 6;
constexpr bool BasePortFits(uint32_t base_port) {
    return base_port >= 1 && base_port <= kMaxBasePort;
}
// What is wrong with a base port that does not fit, in words for the user.
std::string BasePortProblem(uint32_t base_port);

// Why values cannot go into a file, or nothing when they can.
std::optional<std::string> CheckSettingsValues(const ProtocolSettings& values);

// The unscrambled body text of six CR LF terminated entries. The values must
// pass CheckSettingsValues.
std::string BuildSettingsText(const ProtocolSettings& values);

// Scrambled body plus trailer: a complete define.ecf.
std::vector<uint8_t> BuildSettingsImage(const ProtocolSettings& values);

// 1 to 9 decimal digits: what entry 6 can hold.
bool IsTimerValueText(std::string_view value);

// Replaces entries 4 to 6 of an unscrambled file; everything after the two
// bytes that end entry 6 (the old trailer) is dropped. Nothing when the keys
// are missing or the old value runs past the end. value must be 1 to 9
// decimal digits.
std::optional<std::string> RewriteTimerEntries(std::string_view text, std::string_view value,
                                               char flag);

} // namespace kestrel
