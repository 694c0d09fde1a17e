#include "AgentReply.h"

#include "Misbehaviour.h"

#include "protocol/wire/ByteOrder.h"
#include "protocol/wire/TlvCodec.h"

namespace kestrel::sim {

namespace {

void PutHead(Bytes& out, uint16_t type, std::size_t value_size) {
    const std::size_t at = out.size();
    out.resize(at + 4);
    PutU16(out, at, type);
    PutU16(out, at + 2, static_cast<uint16_t>(value_size + 4));
}

void PutText(Bytes& out, uint16_t type, std::string_view text) {
    PutHead(out, type, text.size());
    out.insert(out.end(), text.begin(), text.end());
}

void PutU32Field(Bytes& out, uint16_t type, uint32_t value) {
    PutHead(out, type, 4);
    const std::size_t at = out.size();
    out.resize(at + 4);
    PutU32(out, at, value);
}

} // namespace

void AppendStateFields(Bytes& out, const AgentSettings& s) {
    PutText(out, TLV_PRODUCT_NAME, ReportedProductName(s));
    PutText(out, TLV_SYSTEM_NAME, ReportedSystemName(s));
    PutText(out, TLV_LOCATION, ReportedLocation(s));
    PutU32Field(out, TLV_IP_ADDRESS, ReportedAddress(s));
    PutU32Field(out, TLV_SUBNET_MASK, s.subnet_mask);
    PutU32Field(out, TLV_GATEWAY, s.gateway);
    PutU32Field(out, TLV_TRAP_IP, s.trap_ip);
    if (s.dhcp != DhcpReport::NotReported) {
        const uint16_t state = static_cast<uint16_t>(s.dhcp);
        if (s.interface_version == 1) {
            PutHead(out, TLV_DHCP, 1);
            out.push_back(static_cast<uint8_t>(state));
        } else {
            PutHead(out, TLV_DHCP, 2);
            const std::size_t at = out.size();
            out.resize(at + 2);
            PutU16(out, at, state);
        }
    }
    if (s.group_interval != -1)
        PutU32Field(out, TLV_GROUP_INTERVAL, static_cast<uint32_t>(s.group_interval));
    if (s.interface_version == 3) {
        PutHead(out, TLV_FIELD_MASK, 16);
        for (uint32_t word : s.field_mask) {
            const std::size_t at = out.size();
            out.resize(at + 4);
            PutU32(out, at, word);
        }
    }
}

Bytes BuildHeaderReply(const AgentSettings& s, uint16_t command, int status, uint16_t sequence) {
    PacketHeader h;
    h.protocol_version = s.protocol_version;
    h.sub_version = 1;
    h.mac = s.mac;
    h.interface_version = s.interface_version;
    h.command = command;
    h.status = static_cast<uint16_t>(status);
    h.utility_id = s.utility_id;
    h.sequence = sequence;
    Bytes out(kHeaderSize);
    EncodeHeader(h, std::span<uint8_t, kHeaderSize>(out.data(), kHeaderSize));
    return out;
}

Bytes BuildStateReply(const AgentSettings& s, uint16_t command, int status, uint16_t sequence) {
    Bytes out = BuildHeaderReply(s, command, status, sequence);
    AppendStateFields(out, s);
    return out;
}

Bytes BuildTrap(const AgentSettings& s, std::string_view asked) {
    const std::string shown = ReportedTrapText(s, std::string(asked));
    std::string_view text = shown;
    Bytes out = BuildHeaderReply(s, CMD_TRAP, STATUS_OK, 0);
    // Room for the header, the address and the NUL within one datagram.
    const std::size_t room = kMaxDatagram - kHeaderSize - 4 - 1;
    if (text.size() > room)
        text = text.substr(0, room);
    const std::size_t at = out.size();
    out.resize(at + 4);
    PutU32(out, at, ReportedAddress(s));
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
    return out;
}

} // namespace kestrel::sim
