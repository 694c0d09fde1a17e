#include "SetRequest.h"

#include "protocol/wire/ByteOrder.h"
#include "protocol/wire/PacketHeader.h"
#include "protocol/wire/TlvCodec.h"

namespace kestrel::sim {

namespace {

// How many bytes the field at pos takes, as the utility's encoder lays it
// out; 0 when it is unknown or does not fit.
std::size_t FieldSize(const ByteReader& in, std::size_t pos, uint16_t type,
                      uint16_t interface_version) {
    switch (type) {
    case TLV_PRODUCT_NAME:
    case TLV_SYSTEM_NAME:
    case TLV_LOCATION:
    case TLV_NEW_PASSWORD:
    case TLV_PASSWORD: {
        const auto length = in.U16(pos + 2);
        if (!length || *length < 4)
            return 0;
        return *length;
    }
    case TLV_IP_ADDRESS:
    case TLV_SUBNET_MASK:
    case TLV_GATEWAY:
    case TLV_TRAP_IP:
    case TLV_GROUP_INTERVAL:
        return 8;
    case TLV_DHCP:
        return interface_version == 1 ? 5 : 6;
    case TLV_RAW_WORD:
        return 6;
    case TLV_FIELD_MASK:
        return 20;
    default:
        return 0;
    }
}

bool MaskAllows(const AgentSettings& s, uint16_t type) {
    return type >= 1 && type <= 32 && (s.field_mask[0] >> (type - 1)) & 1;
}

} // namespace

SetRequest ParseSetRequest(std::span<const uint8_t> tlv_area, uint16_t interface_version) {
    SetRequest r;
    const ByteReader in(tlv_area);
    std::size_t pos = 0;
    std::size_t taken_whole = 0; // bytes of whole fields, handed to the decoder
    while (pos < in.size()) {
        const auto type = in.U16(pos);
        if (!type)
            break;
        const std::size_t size = FieldSize(in, pos, *type, interface_version);
        if (size == 0 || !in.Has(pos, size))
            break;
        const auto value = in.Bytes(pos + 4, size - 4);
        const std::string text(value->begin(), value->end());
        switch (*type) {
        case TLV_PASSWORD:
            r.password = text;
            break;
        case TLV_NEW_PASSWORD:
            r.new_password = text;
            break;
        case TLV_PRODUCT_NAME:
            r.product_name = text;
            break;
        case TLV_SYSTEM_NAME:
            r.system_name = text;
            break;
        case TLV_LOCATION:
            r.location = text;
            break;
        default:
            break;
        }
        if (*type <= 32)
            r.present |= 1u << (*type - 1);
        pos += size;
        taken_whole = pos;
    }
    ClearRecord(r.values);
    r.values.interface_version = interface_version;
    r.values.dhcp_state = kDhcpNotReported;
    r.values.group_interval = -1;
    DecodeReplyFields(tlv_area.first(taken_whole), r.values);
    return r;
}

SetOutcome ApplySetRequest(AgentSettings& s, const SetRequest& r,
                           const std::function<bool(uint32_t)>& address_taken) {
    SetOutcome out;
    if (!r.password || *r.password != s.password) {
        out.status = STATUS_PASSWORD_ERROR;
        return out;
    }
    const DeviceRecord& v = r.values;
    auto wanted = [&](uint16_t type) {
        if (!r.Has(type))
            return false;
        if (!MaskAllows(s, type)) {
            out.refused.push_back(std::to_string(type));
            return false;
        }
        return true;
    };
    const bool set_product = wanted(TLV_PRODUCT_NAME);
    const bool set_name = wanted(TLV_SYSTEM_NAME);
    const bool set_location = wanted(TLV_LOCATION);
    // A zero address means "not given" (the utility sends zeros when DHCP
    // takes over); the agent keeps what it has.
    const bool set_ip = wanted(TLV_IP_ADDRESS) && v.ip != 0 && v.ip != s.ip;
    const bool set_subnet = wanted(TLV_SUBNET_MASK) && v.subnet_mask != 0;
    const bool set_gateway = wanted(TLV_GATEWAY) && v.gateway != 0;
    const bool set_trap = wanted(TLV_TRAP_IP);
    const bool set_new_password = wanted(TLV_NEW_PASSWORD);
    const bool set_dhcp = wanted(TLV_DHCP);
    const bool set_group = wanted(TLV_GROUP_INTERVAL);

    const bool valid =
        (!set_product || r.product_name->size() <= 40) &&
        (!set_name || r.system_name->size() <= 20) && (!set_location || r.location->size() <= 20) &&
        (!set_new_password || (!r.new_password->empty() && r.new_password->size() <= 20)) &&
        (!set_dhcp || v.dhcp_state <= 1) && (!set_group || v.group_interval >= 0) &&
        (!set_ip || (v.ip >> 24 != 0 && v.ip >> 28 < 14 && !address_taken(v.ip)));
    if (!valid) {
        out.status = STATUS_PARAMETER_ERROR;
        return out;
    }

    auto note = [&](const char* name) { out.applied.emplace_back(name); };
    if (set_product) {
        s.product_name = *r.product_name;
        note("product");
    }
    if (set_name) {
        s.system_name = *r.system_name;
        note("name");
    }
    if (set_location) {
        s.location = *r.location;
        note("location");
    }
    if (set_ip) {
        s.ip = v.ip;
        note("ip");
    }
    if (set_subnet) {
        s.subnet_mask = v.subnet_mask;
        note("subnet");
    }
    if (set_gateway) {
        s.gateway = v.gateway;
        note("gateway");
    }
    if (set_trap) {
        s.trap_ip = v.trap_ip;
        note("trap");
    }
    if (set_new_password) {
        s.password = *r.new_password;
        note("password");
    }
    if (set_dhcp) {
        s.dhcp = v.dhcp_state ? DhcpReport::Enabled : DhcpReport::Disabled;
        note("dhcp");
    }
    if (set_group) {
        s.group_interval = v.group_interval;
        note("group");
    }
    return out;
}

int ApplyDhcpRefresh(const AgentSettings& s, const SetRequest& r) {
    if (!r.password || *r.password != s.password)
        return STATUS_PASSWORD_ERROR;
    if (s.dhcp != DhcpReport::Enabled || s.dhcp_refresh_fails)
        return STATUS_DHCP_REFRESH_FAIL;
    return STATUS_OK;
}

} // namespace kestrel::sim
