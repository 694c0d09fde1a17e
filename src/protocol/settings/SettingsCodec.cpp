#include "protocol/settings/SettingsCodec.h"

#include "protocol/wire/TlvCodec.h"

#include <algorithm>
#include <cstdio>

namespace kestrel {

namespace {

constexpr int kRange = 96;
constexpr int kFirst = 32;

// Extended Euclid: the x with a * x = 1 (mod m), for a and m coprime.
constexpr int ModInverse(int a, int m) {
    int old_r = a, r = m;
    int old_s = 1, s = 0;
    while (r != 0) {
        const int q = old_r / r;
        const int next_r = old_r - q * r;
        old_r = r;
        r = next_r;
        const int next_s = old_s - q * s;
        old_s = s;
        s = next_s;
    }
    return ((old_s % m) + m) % m;
}

constexpr int kScrambleKInverse = ModInverse(kScrambleK, kRange);
static_assert(kScrambleK % 2 == 1 && kScrambleK % 3 != 0 && kScrambleK < kRange);
static_assert(kScrambleD >= 0 && kScrambleD < kRange);
static_assert(kScrambleK * kScrambleKInverse % kRange == 1);

bool Scrambled(uint8_t c) {
    return c >= kFirst && c < kFirst + kRange;
}

// The value of the k-th entry: width characters right after the k-th "=",
// fewer when the text ends first, empty when there is no such "=".
std::string_view ValueAfter(std::string_view text, int k, std::size_t width) {
    std::size_t pos = std::string_view::npos;
    std::size_t from = 0;
    for (int i = 0; i < k; ++i) {
        pos = text.find('=', from);
        if (pos == std::string_view::npos)
            return {};
        from = pos + 1;
    }
    return text.substr(from, width);
}

// Hexadecimal digits, most significant pair first; 0 when any is not a digit.
uint32_t HexValue(std::string_view value) {
    const auto bytes = ParseHexText(value);
    uint32_t v = 0;
    if (bytes)
        for (const uint8_t b : *bytes)
            v = (v << 8) | b;
    return v;
}

// Decimal digits only (at most 9, so it fits); 0 otherwise.
int DecimalValue(std::string_view value) {
    if (value.empty() || value.size() > kMaxTimerDigits)
        return 0;
    int v = 0;
    for (const char c : value) {
        if (c < '0' || c > '9')
            return 0;
        v = v * 10 + (c - '0');
    }
    return v;
}

std::string WithoutCrLf(std::span<const uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            ++i;
            continue;
        }
        text.push_back(static_cast<char>(bytes[i]));
    }
    return text;
}

bool AllDigits(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

uint8_t SettingsChecksum(std::span<const uint8_t> bytes) {
    uint16_t sum = 0;
    for (const uint8_t b : bytes)
        sum = static_cast<uint16_t>(sum + b);
    sum = static_cast<uint16_t>((sum & 0xFF) + (sum >> 8));
    sum = static_cast<uint16_t>((sum & 0xFF) + (sum >> 8));
    return static_cast<uint8_t>(sum);
}

std::array<uint8_t, 2> SettingsTrailer(std::span<const uint8_t> body) {
    return {static_cast<uint8_t>(0xFF - SettingsChecksum(body)), 0xFF};
}

uint8_t ScrambleByte(uint8_t c) {
    if (!Scrambled(c))
        return c;
    return static_cast<uint8_t>(((c - kFirst) * kScrambleK + kScrambleD) % kRange + kFirst);
}

uint8_t UnscrambleByte(uint8_t c) {
    if (!Scrambled(c))
        return c;
    const int shifted = ((c - kFirst - kScrambleD) % kRange + kRange) % kRange;
    return static_cast<uint8_t>(shifted * kScrambleKInverse % kRange + kFirst);
}

void Scramble(std::span<uint8_t> bytes) {
    for (uint8_t& b : bytes)
        b = ScrambleByte(b);
}

void Unscramble(std::span<uint8_t> bytes) {
    for (uint8_t& b : bytes)
        b = UnscrambleByte(b);
}

SettingsEntries ParseSettingsText(std::string_view text) {
    SettingsEntries e;
    e.utility_id = HexValue(ValueAfter(text, 1, kUtilityIdWidth));
    e.base_port = static_cast<uint16_t>(HexValue(ValueAfter(text, 2, kBasePortWidth)));
    const std::string_view group = ValueAfter(text, 3, kMulticastGroupWidth);
    // Held as C text: a NUL ends it.
    e.multicast_group = std::string(group.substr(0, group.find('\0')));
    e.multicast_timer_flag = DecimalValue(ValueAfter(text, 4, 1));
    e.timer_length = DecimalValue(ValueAfter(text, 5, 1));
    e.multicast_timer = DecimalValue(ValueAfter(text, 6, static_cast<std::size_t>(e.timer_length)));
    return e;
}

DecodedSettings DecodeSettingsImage(std::span<const uint8_t> stored) {
    DecodedSettings d;
    // A file too short for its trailer cannot be sound, whatever it sums to.
    if (stored.size() < 2)
        return d;
    d.checksum_ok = SettingsChecksum(stored) == 0xFF;
    std::string text = WithoutCrLf(stored.first(stored.size() - 2));
    Unscramble(std::span(reinterpret_cast<uint8_t*>(text.data()), text.size()));
    d.entries = ParseSettingsText(text);
    return d;
}

std::string BasePortProblem(uint32_t base_port) {
    return "define.ecf base port " + std::to_string(base_port) +
           " is out of range: the program uses it and the six ports after it, so it must be 1 "
           "to " +
           std::to_string(kMaxBasePort);
}

std::optional<std::string> CheckSettingsValues(const ProtocolSettings& v) {
    if (!BasePortFits(v.base_port))
        return "the base port must be 1 to " + std::to_string(kMaxBasePort) +
               " (the program uses it and the six ports after it)";
    const std::string& g = v.multicast_group;
    if (g.size() != kMulticastGroupWidth)
        return "the multicast group must be exactly 15 characters, e.g. 239.255.255.250";
    const bool printable =
        std::all_of(g.begin(), g.end(), [](char c) { return c >= 32 && c <= 126 && c != '='; });
    if (!printable)
        return "the multicast group may hold only printable characters other than '='";
    if (v.multicast_timer_flag != 0 && v.multicast_timer_flag != 1)
        return "the keep-alive flag must be 0 or 1";
    if (v.multicast_timer < 0 || v.multicast_timer > 999999999)
        return "the keep-alive period must be 0 to 999999999 seconds";
    return std::nullopt;
}

std::string BuildSettingsText(const ProtocolSettings& v) {
    char head[64];
    std::snprintf(head, sizeof head, "utility_id=%08X\r\nbase_port=%04X\r\n",
                  static_cast<unsigned>(v.utility_id), static_cast<unsigned>(v.base_port));
    const std::string timer = std::to_string(v.multicast_timer);
    std::string text = head;
    text += "multicast_group=" + v.multicast_group + "\r\n";
    text += std::string(kFlagKey) + std::to_string(v.multicast_timer_flag) + "\r\n";
    text += std::string(kTimerLengthKey) + std::to_string(timer.size()) + "\r\n";
    text += std::string(kTimerKey) + timer + "\r\n";
    return text;
}

std::vector<uint8_t> BuildSettingsImage(const ProtocolSettings& values) {
    const std::string text = BuildSettingsText(values);
    std::vector<uint8_t> image(text.begin(), text.end());
    Scramble(image);
    const auto trailer = SettingsTrailer(image);
    image.insert(image.end(), trailer.begin(), trailer.end());
    return image;
}

bool IsTimerValueText(std::string_view value) {
    return !value.empty() && value.size() <= kMaxTimerDigits && AllDigits(value);
}

std::optional<std::string> RewriteTimerEntries(std::string_view text, std::string_view value,
                                               char flag) {
    if (!IsTimerValueText(value))
        return std::nullopt;

    const std::size_t flag_key = text.find(kFlagKey);
    if (flag_key == std::string_view::npos)
        return std::nullopt;
    const std::size_t flag_at = flag_key + kFlagKey.size();
    const std::size_t length_key = text.find(kTimerLengthKey, flag_at);
    if (length_key == std::string_view::npos)
        return std::nullopt;
    const std::size_t length_at = length_key + kTimerLengthKey.size();
    const std::size_t timer_key = text.find(kTimerKey, length_at);
    if (timer_key == std::string_view::npos || length_at >= timer_key)
        return std::nullopt;
    const std::size_t timer_at = timer_key + kTimerKey.size();

    // The old length digit says how far the old value reaches.
    const char old_length = text[length_at];
    if (old_length < '0' || old_length > '9')
        return std::nullopt;
    const std::size_t old_end = timer_at + static_cast<std::size_t>(old_length - '0');
    if (flag_at >= length_key || old_end > text.size())
        return std::nullopt;
    // The two bytes that end entry 6, normally CR LF.
    const std::string_view kept = text.substr(old_end, 2);

    std::string out;
    out.reserve(timer_at + value.size() + kept.size());
    out.append(text.substr(0, flag_at));
    out.push_back(flag);
    out.append(text.substr(flag_at + 1, length_at - (flag_at + 1)));
    out.push_back(static_cast<char>('0' + value.size()));
    out.append(text.substr(length_at + 1, timer_at - (length_at + 1)));
    out.append(value);
    out.append(kept);
    return out;
}

} // namespace kestrel
