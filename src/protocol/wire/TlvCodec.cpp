#include "protocol/wire/TlvCodec.h"

#include "protocol/wire/ByteOrder.h"
#include "protocol/wire/Ipv4Text.h"

#include <algorithm>
#include <array>

namespace kestrel {

namespace {

constexpr std::size_t kTlvHead = 4;
constexpr std::size_t kAddressFieldSize = 8;
constexpr std::size_t kRawWordFieldSize = 6;
constexpr std::size_t kGroupIntervalFieldSize = 8;
constexpr std::size_t kFieldMaskFieldSize = 20;

std::string_view AsText(std::span<const uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The bytes of a length-prefixed field (text types and TLV_NEW_PASSWORD), or
// nothing when the declared length is below the head or runs past the area.
std::optional<std::span<const uint8_t>> VariableField(const ByteReader& in, std::size_t pos) {
    const std::optional<uint16_t> length = in.U16(pos + 2);
    if (!length || *length < kTlvHead)
        return std::nullopt;
    return in.Bytes(pos, *length);
}

void StoreAddress(uint32_t value, uint32_t& number, char (&text)[20]) {
    number = value;
    SetFieldText(text, FormatIpv4(value));
}

// Decodes the field at pos into the record; returns its size on the wire, or
// 0 when decoding has to stop there.
std::size_t DecodeField(const ByteReader& in, std::size_t pos, DeviceRecord& r) {
    const std::optional<uint16_t> type = in.U16(pos);
    if (!type)
        return 0;
    switch (*type) {
    case TLV_PRODUCT_NAME:
    case TLV_SYSTEM_NAME:
    case TLV_LOCATION:
    case TLV_PASSWORD:
    case TLV_NEW_PASSWORD: {
        const auto field = VariableField(in, pos);
        if (!field)
            return 0;
        const std::string_view value = AsText(field->subspan(kTlvHead));
        if (*type == TLV_PRODUCT_NAME)
            SetFieldText(r.product_name, value);
        else if (*type == TLV_SYSTEM_NAME)
            SetFieldText(r.system_name, value);
        else if (*type == TLV_LOCATION)
            SetFieldText(r.location, value);
        else if (*type == TLV_PASSWORD)
            SetFieldText(r.password, value);
        // A new password is never taken from an agent.
        return field->size();
    }
    case TLV_IP_ADDRESS:
    case TLV_SUBNET_MASK:
    case TLV_GATEWAY:
    case TLV_TRAP_IP: {
        // Always 8 bytes, whatever the length field says.
        if (!in.Has(pos, kAddressFieldSize))
            return 0;
        const uint32_t value = *in.U32(pos + kTlvHead);
        if (*type == TLV_IP_ADDRESS)
            StoreAddress(value, r.ip, r.ip_text);
        else if (*type == TLV_SUBNET_MASK)
            StoreAddress(value, r.subnet_mask, r.subnet_mask_text);
        else if (*type == TLV_GATEWAY)
            StoreAddress(value, r.gateway, r.gateway_text);
        else
            StoreAddress(value, r.trap_ip, r.trap_ip_text);
        return kAddressFieldSize;
    }
    case TLV_DHCP: {
        // Width follows the agent's interface version, not the length field.
        if (r.interface_version == 1) {
            const std::optional<uint8_t> value = in.U8(pos + kTlvHead);
            if (!value)
                return 0;
            r.dhcp_state = *value;
            return kTlvHead + 1;
        }
        const std::optional<uint16_t> value = in.U16(pos + kTlvHead);
        if (!value)
            return 0;
        r.dhcp_state = *value;
        return kTlvHead + 2;
    }
    case TLV_RAW_WORD: {
        const auto value = in.Bytes(pos + kTlvHead, sizeof r.raw_word);
        if (!value)
            return 0;
        std::copy(value->begin(), value->end(), r.raw_word);
        return kRawWordFieldSize;
    }
    case TLV_GROUP_INTERVAL: {
        const std::optional<uint32_t> value = in.U32(pos + kTlvHead);
        if (!value)
            return 0;
        r.group_interval = static_cast<int32_t>(*value);
        return kGroupIntervalFieldSize;
    }
    case TLV_FIELD_MASK: {
        if (!in.Has(pos, kFieldMaskFieldSize))
            return 0;
        for (std::size_t word = 0; word < 4; ++word)
            r.field_mask[word] = *in.U32(pos + kTlvHead + 4 * word);
        return kFieldMaskFieldSize;
    }
    default:
        // Unknown types end decoding; what came before stays.
        return 0;
    }
}

// Writes whole TLV fields into a bounded buffer. A field that does not fit is
// left out together with everything after it, so the output is always a run
// of complete fields.
class TlvWriter {
public:
    explicit TlvWriter(std::span<uint8_t> out) : out_(out) {}

    std::size_t written() const { return pos_; }

    bool Text(uint16_t type, std::string_view text) {
        const auto value = std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size());
        return Field(type, value);
    }
    bool U8(uint16_t type, uint8_t value) { return Field(type, std::span(&value, 1)); }
    bool U16(uint16_t type, uint16_t value) {
        std::array<uint8_t, 2> bytes;
        PutU16(bytes, 0, value);
        return Field(type, bytes);
    }
    bool U32(uint16_t type, uint32_t value) {
        std::array<uint8_t, 4> bytes;
        PutU32(bytes, 0, value);
        return Field(type, bytes);
    }

private:
    bool Field(uint16_t type, std::span<const uint8_t> value) {
        const std::size_t size = kTlvHead + value.size();
        if (full_ || size > 0xFFFF || size > out_.size() - pos_) {
            full_ = true;
            return false;
        }
        PutU16(out_, pos_, type);
        PutU16(out_, pos_ + 2, static_cast<uint16_t>(size));
        std::copy(value.begin(), value.end(),
                  out_.begin() + static_cast<std::ptrdiff_t>(pos_ + kTlvHead));
        pos_ += size;
        return true;
    }

    std::span<uint8_t> out_;
    std::size_t pos_ = 0;
    bool full_ = false;
};

constexpr uint32_t MaskBit(uint16_t type) {
    return uint32_t{1} << (type - 1);
}

void WriteDhcp(TlvWriter& w, const DeviceRecord& r, uint16_t value) {
    if (r.interface_version == 1)
        w.U8(TLV_DHCP, static_cast<uint8_t>(value));
    else
        w.U16(TLV_DHCP, value);
}

} // namespace

void DecodeReplyFields(std::span<const uint8_t> tlv_area, DeviceRecord& record) {
    const ByteReader in(tlv_area);
    std::size_t pos = 0;
    // Every field taken is at least 4 bytes, so the loop always advances.
    while (pos < in.size()) {
        const std::size_t taken = DecodeField(in, pos, record);
        if (taken == 0)
            break;
        pos += taken;
    }
}

std::size_t EncodeSetFields(std::span<uint8_t> out, const DeviceRecord& record,
                            DhcpChange dhcp_change, uint32_t& pending_set_ip) {
    const uint32_t mask = record.field_mask[0];
    const auto allowed = [mask](uint16_t type) { return (mask & MaskBit(type)) != 0; };
    TlvWriter w(out);

    if (allowed(TLV_PASSWORD))
        w.Text(TLV_PASSWORD, FieldText(record.password));
    if (allowed(TLV_PRODUCT_NAME))
        w.Text(TLV_PRODUCT_NAME, FieldText(record.product_name));
    if (allowed(TLV_SYSTEM_NAME))
        w.Text(TLV_SYSTEM_NAME, FieldText(record.system_name));
    if (allowed(TLV_LOCATION))
        w.Text(TLV_LOCATION, FieldText(record.location));

    // Switching DHCP on hands the addresses to the DHCP server.
    const bool dhcp_on = dhcp_change == DhcpChange::SwitchOn;
    if (allowed(TLV_IP_ADDRESS) && w.U32(TLV_IP_ADDRESS, dhcp_on ? 0 : record.ip))
        pending_set_ip = record.ip;
    if (allowed(TLV_GATEWAY))
        w.U32(TLV_GATEWAY, dhcp_on ? 0 : record.gateway);
    if (allowed(TLV_TRAP_IP))
        w.U32(TLV_TRAP_IP, record.trap_ip);
    if (allowed(TLV_SUBNET_MASK))
        w.U32(TLV_SUBNET_MASK, dhcp_on ? 0 : record.subnet_mask);

    const std::string_view new_password = FieldText(record.new_password);
    if (allowed(TLV_NEW_PASSWORD) && !new_password.empty())
        w.Text(TLV_NEW_PASSWORD, new_password);

    if (allowed(TLV_DHCP) && record.dhcp_state != kDhcpNotReported &&
        dhcp_change != DhcpChange::Untouched)
        WriteDhcp(w, record, dhcp_on ? record.dhcp_state : uint16_t{0});

    if (allowed(TLV_GROUP_INTERVAL) && record.group_interval != -1)
        w.U32(TLV_GROUP_INTERVAL, static_cast<uint32_t>(record.group_interval));

    return w.written();
}

std::size_t EncodePasswordFields(std::span<uint8_t> out, const DeviceRecord& record) {
    const uint32_t mask = record.field_mask[0];
    TlvWriter w(out);
    if (mask & MaskBit(TLV_PASSWORD))
        w.Text(TLV_PASSWORD, FieldText(record.password));
    const std::string_view new_password = FieldText(record.new_password);
    if ((mask & MaskBit(TLV_NEW_PASSWORD)) && !new_password.empty())
        w.Text(TLV_NEW_PASSWORD, new_password);
    return w.written();
}

std::size_t AppendPasswordField(std::span<uint8_t> out, std::string_view password) {
    TlvWriter w(out);
    w.Text(TLV_PASSWORD, password);
    return w.written();
}

std::string FormatMacText(const MacBytes& mac) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * mac.size());
    for (const uint8_t b : mac) {
        text.push_back(kDigits[b >> 4]);
        text.push_back(kDigits[b & 0x0F]);
    }
    return text;
}

namespace {
std::optional<uint8_t> HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return static_cast<uint8_t>(c - '0');
    if (c >= 'a' && c <= 'f')
        return static_cast<uint8_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return static_cast<uint8_t>(c - 'A' + 10);
    return std::nullopt;
}
} // namespace

std::optional<std::vector<uint8_t>> ParseHexText(std::string_view text) {
    std::vector<uint8_t> nibbles;
    nibbles.reserve(text.size());
    for (const char c : text) {
        const std::optional<uint8_t> d = HexDigit(c);
        if (!d)
            return std::nullopt;
        nibbles.push_back(*d);
    }
    std::vector<uint8_t> bytes;
    bytes.reserve(nibbles.size() / 2);
    for (std::size_t i = 0; i + 1 < nibbles.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>((nibbles[i] << 4) | nibbles[i + 1]));
    return bytes;
}

} // namespace kestrel
