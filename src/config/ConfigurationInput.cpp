#include "config/ConfigurationInput.h"

#include "config/ConfigMessages.h"
#include "protocol/set/DeviceSelection.h"
#include "protocol/set/SetMessages.h"
#include "protocol/wire/HostAddress.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace kestrel {

bool HostPartValid(uint32_t ip, uint32_t mask) {
    if (mask == 0xFFFFFFFF)
        return true;
    const uint32_t host = ip & ~mask;
    return host != 0 && host != ~mask;
}

bool MaskContiguous(uint32_t mask) {
    // A contiguous mask is ones then zeros: its inverse plus one is a power
    // of two (or wraps to zero for 0.0.0.0).
    const uint32_t inverse = ~mask;
    return (inverse & (inverse + 1)) == 0;
}

ConfigurationForm FormFromRecord(const DeviceRecord& r) {
    ConfigurationForm form;
    form.product_name = FieldText(r.product_name);
    form.mac_text = FieldText(r.mac_text);
    form.system_name = FieldText(r.system_name);
    form.location = FieldText(r.location);
    form.ip = r.ip;
    form.subnet_mask = r.subnet_mask;
    form.gateway = r.gateway;
    form.trap_ip = r.trap_ip;
    form.dhcp_enable_checked = r.dhcp_state == kDhcpEnabled;
    form.dhcp_disable_checked = r.dhcp_state == kDhcpDisabled;
    form.group_interval_enabled = r.group_interval != -1;
    if (form.group_interval_enabled)
        form.group_interval_text = std::to_string(r.group_interval);
    return form;
}

namespace {

bool TakenByOther(uint32_t ip, const DeviceTables& tables, const ChosenAgent& agent,
                  ListRowCounts rows) {
    const auto uses = [ip](const DeviceTable& table, int count, int except) {
        const int n = std::clamp(count, 0, kTableCapacity);
        for (int i = 0; i < n; ++i) {
            if (i != except && table.records[static_cast<std::size_t>(i)].ip == ip)
                return true;
        }
        return false;
    };
    if (agent.in_monitor())
        return uses(tables.monitor, rows.monitor, agent.index) ||
               uses(tables.discovery, rows.discovery, -1);
    // Another discovery-list agent may share the address: only the monitor
    // list is searched.
    return uses(tables.monitor, rows.monitor, -1);
}

bool AllDigits(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

ConfigurationResult ReadConfiguration(const ConfigurationForm& form, const DeviceTables& tables,
                                      const ChosenAgent& agent, ListRowCounts rows) {
    const auto fail = [](const Message& m) { return ConfigurationResult{std::nullopt, m}; };
    ConfigurationRequest request;
    DeviceRecord& w = request.working;
    ClearRecord(w);
    w.dhcp_state = kDhcpNotReported;
    w.group_interval = -1;
    if (form.dhcp_disable_checked)
        w.dhcp_state = kDhcpDisabled;
    else if (form.dhcp_enable_checked)
        w.dhcp_state = kDhcpEnabled;

    SetFieldText(w.product_name, form.product_name);
    SetFieldText(w.system_name, form.system_name);
    SetFieldText(w.location, form.location);

    if (form.password.empty() || form.password.size() > 20)
        return fail(kPasswordLength);
    SetFieldText(w.password, form.password);
    SetFieldText(w.mac_text, form.mac_text);

    // The address controls are in use unless DHCP is switched on.
    if (w.dhcp_state != kDhcpEnabled) {
        w.ip = form.ip;
        if (w.ip == 0)
            return fail(kIllegalSetIp);
        if (TakenByOther(w.ip, tables, agent, rows))
            return fail(kSetIpExists);
        w.subnet_mask = form.subnet_mask;
        w.gateway = form.gateway;
        if (!HostPartValid(w.ip, w.subnet_mask))
            return fail(kSubnetMaskIllegal);
        if (w.gateway != 0 && (w.ip & w.subnet_mask) != (w.gateway & w.subnet_mask))
            return fail(kGatewayNotInNet);
        if (!MaskContiguous(w.subnet_mask))
            return fail(kInvalidSubnet);
    }

    w.trap_ip = form.trap_ip;
    if (w.trap_ip != 0 && !IsLegalHostAddress(w.trap_ip))
        return fail(kErrorTrapIp);

    if (form.group_interval_enabled) {
        const std::string& text = form.group_interval_text;
        if (!AllDigits(text))
            return fail(kGroupIntervalDigits);
        // The box holds four digits; a longer text is out of range anyway.
        const int32_t value = text.empty()      ? 0
                              : text.size() > 5 ? 99999
                                                : static_cast<int32_t>(std::stol(text));
        if (value != 0 && (value < 120 || value > 1225))
            return fail(kGroupIntervalRange);
        w.group_interval = value;
    }

    const DeviceRecord& device = agent.Record(tables);
    std::memcpy(w.field_mask, device.field_mask, sizeof w.field_mask);
    // TLV_DHCP is one byte for an interface-version-1 agent: a 16-bit value
    // would shift every field after it.
    w.interface_version = device.interface_version;
    if (w.dhcp_state == kDhcpDisabled && device.dhcp_state != kDhcpDisabled)
        request.dhcp_change = DhcpChange::SwitchOff;
    else if (w.dhcp_state == kDhcpEnabled && device.dhcp_state != kDhcpEnabled)
        request.dhcp_change = DhcpChange::SwitchOn;
    return {request, std::nullopt};
}

} // namespace kestrel
