#include "protocol/wire/PacketHeader.h"

#include "protocol/wire/ByteOrder.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace kestrel {

namespace {
constexpr std::size_t kOffProtocolVersion = 0;
constexpr std::size_t kOffSubVersion = 2;
constexpr std::size_t kOffMac = 4;
constexpr std::size_t kOffInterfaceVersion = 10;
constexpr std::size_t kOffCommand = 12;
constexpr std::size_t kOffStatus = 14;
constexpr std::size_t kOffUtilityId = 16;
constexpr std::size_t kOffSequence = 26;
} // namespace

PacketHeader DecodeHeader(std::span<const uint8_t> datagram) {
    // Pad a short datagram with zeros, as a cleared receive buffer would.
    std::array<uint8_t, kHeaderSize> padded{};
    const std::size_t n = std::min(datagram.size(), kHeaderSize);
    std::copy_n(datagram.begin(), n, padded.begin());
    const ByteReader in(padded);

    PacketHeader h;
    h.protocol_version = *in.U16(kOffProtocolVersion);
    h.sub_version = *in.U16(kOffSubVersion);
    std::copy_n(padded.begin() + kOffMac, h.mac.size(), h.mac.begin());
    h.interface_version = *in.U16(kOffInterfaceVersion);
    h.command = *in.U16(kOffCommand);
    h.status = *in.U16(kOffStatus);
    h.utility_id = *in.U32(kOffUtilityId);
    h.sequence = *in.U16(kOffSequence);
    return h;
}

void EncodeHeader(const PacketHeader& h, std::span<uint8_t, kHeaderSize> out) {
    std::fill(out.begin(), out.end(), uint8_t{0});
    PutU16(out, kOffProtocolVersion, h.protocol_version);
    PutU16(out, kOffSubVersion, h.sub_version);
    std::copy(h.mac.begin(), h.mac.end(), out.begin() + kOffMac);
    PutU16(out, kOffInterfaceVersion, h.interface_version);
    PutU16(out, kOffCommand, h.command);
    PutU16(out, kOffStatus, h.status);
    PutU32(out, kOffUtilityId, h.utility_id);
    PutU16(out, kOffSequence, h.sequence);
}

std::size_t BuildRequestHeader(std::span<uint8_t, kHeaderSize> out, uint16_t command,
                               uint32_t utility_id) {
    PacketHeader h;
    h.protocol_version = kProtocolVersion;
    h.command = command;
    h.utility_id = utility_id;
    EncodeHeader(h, out);
    return kHeaderSize;
}

std::size_t BuildTargetedHeader(std::span<uint8_t, kHeaderSize> out,
                                const TargetedRequest& request) {
    PacketHeader h;
    h.protocol_version = kProtocolVersion;
    h.sub_version = request.dhcp_refresh ? 1 : 0;
    h.mac = request.mac;
    h.interface_version = request.dhcp_refresh ? 3 : 0;
    h.command = request.command;
    h.utility_id = request.utility_id;
    h.sequence = request.sequence;
    EncodeHeader(h, out);
    return kHeaderSize;
}

std::string ReplyStatusMessage(int status) {
    switch (status) {
    case STATUS_OK:
        return {};
    case STATUS_PROTOCOL_VERSION_ERROR:
        return "Device return : protocol version Error";
    case STATUS_PASSWORD_ERROR:
        return "Device return : password error";
    case STATUS_COMMAND_ERROR:
        return "Device return : command Error";
    case STATUS_PARAMETER_ERROR:
        return "Device return : parameters Error";
    case STATUS_ACL_ERROR:
        return "Device return : acl Error";
    case STATUS_DHCP_REFRESH_FAIL:
        return "Device return : dhcp refresh fail";
    default:
        return "Device return : unknow error";
    }
}

namespace {

// The number in the base, at least `width` digits wide with leading zeros.
void AppendNumber(std::string& text, unsigned value, int base, std::size_t width) {
    char digits[8];
    const std::size_t n = static_cast<std::size_t>(
        std::to_chars(digits, digits + sizeof digits, value, base).ptr - digits);
    if (n < width)
        text.append(width - n, '0');
    text.append(digits, n);
}

} // namespace

std::string FormatVersionText(uint16_t protocol_version, uint16_t sub_version,
                              uint16_t interface_version) {
    // "%d.%03x.%03d", without a format string to parse for every reply.
    std::string text;
    text.reserve(16);
    AppendNumber(text, protocol_version, 10, 1);
    text += '.';
    AppendNumber(text, sub_version, 16, 3);
    text += '.';
    AppendNumber(text, interface_version, 10, 3);
    return text;
}

} // namespace kestrel
