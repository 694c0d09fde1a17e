#include "protocol/lists/RowTexts.h"

#include "protocol/wire/PacketHeader.h"

namespace kestrel {

std::string VersionText(const DeviceRecord& record) {
    return FormatVersionText(record.protocol_version, record.sub_version, record.interface_version);
}

std::string DhcpText(const DeviceRecord& record) {
    switch (record.dhcp_state) {
    case kDhcpNotReported:
        return {};
    case kDhcpDisabled:
        return "disable";
    default:
        return "enable";
    }
}

std::string GroupIntervalText(DeviceRecord& record) {
    if (record.group_interval == -1)
        return {};
    if (record.group_interval == 0)
        return "disable";
    // The record field holds five characters; the cell shows the whole value.
    std::string text = std::to_string(record.group_interval);
    SetFieldText(record.group_interval_text, text);
    return text;
}

std::array<std::string, kDiscoveryColumns> DiscoveryRowTexts(DeviceRecord& r) {
    return {std::string(FieldText(r.mac_text)),
            std::string(FieldText(r.ip_text)),
            VersionText(r),
            std::string(FieldText(r.product_name)),
            std::string(FieldText(r.system_name)),
            DhcpText(r),
            std::string(FieldText(r.location)),
            std::string(FieldText(r.trap_ip_text)),
            std::string(FieldText(r.subnet_mask_text)),
            std::string(FieldText(r.gateway_text)),
            GroupIntervalText(r)};
}

std::array<std::string, kMonitorColumns> MonitorRowTexts(DeviceRecord& r) {
    return {std::string(),
            std::string(FieldText(r.ip_text)),
            std::string(FieldText(r.mac_text)),
            VersionText(r),
            std::string(FieldText(r.product_name)),
            std::string(FieldText(r.system_name)),
            DhcpText(r),
            std::string(FieldText(r.location)),
            std::string(FieldText(r.trap_ip_text)),
            std::string(FieldText(r.subnet_mask_text)),
            std::string(FieldText(r.gateway_text)),
            GroupIntervalText(r)};
}

} // namespace kestrel
