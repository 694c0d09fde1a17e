#include "Misbehaviour.h"

#include "protocol/wire/PacketHeader.h"

namespace kestrel::sim {

namespace {

const std::string& HostilePattern() {
    static const std::string pattern = [] {
        std::string p = "\x1b[2J\x1b]0;owned\x07\b\f\r\n";
        p += '\0';
        p += "\x1b[31m";
        for (int c = 0x80; c <= 0x9F; ++c)
            p += static_cast<char>(c);
        return p;
    }();
    return pattern;
}

} // namespace

std::string HostileText(std::size_t length) {
    const std::string& pattern = HostilePattern();
    std::string out;
    out.reserve(length);
    while (out.size() < length)
        out += pattern[out.size() % pattern.size()];
    return out;
}

std::string ReportedProductName(const AgentSettings& s) {
    return s.hostile ? HostileText(kMaxProductName) : s.product_name;
}

std::string ReportedSystemName(const AgentSettings& s) {
    return s.hostile ? HostileText(kMaxSystemName) : s.system_name;
}

std::string ReportedLocation(const AgentSettings& s) {
    return s.hostile ? HostileText(kMaxLocation) : s.location;
}

std::string ReportedTrapText(const AgentSettings& s, const std::string& text) {
    return s.hostile ? HostileText(kMaxTrapText) : text;
}

uint32_t ReportedAddress(const AgentSettings& s) {
    return s.claim_ip ? s.claim_ip : s.ip;
}

uint16_t WrongSequence(uint16_t asked) {
    return static_cast<uint16_t>(~asked);
}

void MisbehaveInHeader(std::vector<uint8_t>& reply, const AgentSettings& s) {
    if (reply.size() < kHeaderSize || (s.status < 0 && !s.wrong_seq))
        return;
    PacketHeader h = DecodeHeader(reply);
    if (s.status >= 0)
        h.status = static_cast<uint16_t>((h.status & 0xFFF0) | (s.status & 0x0F));
    if (s.wrong_seq && (h.command == CMD_SET_REPLY || h.command == CMD_UNICAST_SET_REPLY ||
                        h.command == CMD_UPGRADE_TRIGGER_REPLY))
        h.sequence = WrongSequence(h.sequence);
    EncodeHeader(h, std::span<uint8_t, kHeaderSize>(reply.data(), kHeaderSize));
}

} // namespace kestrel::sim
