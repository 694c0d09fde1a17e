#pragma once
// What the Configuration setting dialog's Set makes of the form: the checks
// in their order, the first failure as its message, or the working record
// and the DHCP change to send.

#include "protocol/seams/Notifier.h"
#include "protocol/set/DeviceSelection.h"
#include "protocol/set/SetExchange.h"
#include "protocol/wire/DeviceRecord.h"
#include "protocol/wire/TlvCodec.h"

#include <cstdint>
#include <optional>
#include <string>

namespace kestrel {

// The controls as Set reads them; texts are 8-bit.
struct ConfigurationForm {
    std::string product_name;
    std::string mac_text;
    std::string system_name;
    std::string location;
    std::string password;
    bool dhcp_enable_checked = false;
    bool dhcp_disable_checked = false;
    uint32_t ip = 0; // first octet most significant; an empty control gives 0
    uint32_t subnet_mask = 0;
    uint32_t gateway = 0;
    uint32_t trap_ip = 0;
    bool group_interval_enabled = false;
    std::string group_interval_text;
};

// The form as the dialog opens it on an agent: its record's values; the
// DHCP choice and the group interval only when the agent reports them.
ConfigurationForm FormFromRecord(const DeviceRecord& record);

// Row counts of both lists, taken by the button before the selection check.
struct ListRowCounts {
    int discovery = 0;
    int monitor = 0;
};

using ConfigurationRequest = SetPayload;

struct ConfigurationResult {
    std::optional<ConfigurationRequest> request; // set when every check passed
    std::optional<Message> failure;              // the first check that failed
};

// For the chosen agent; the duplicate-address test searches both tables.
ConfigurationResult ReadConfiguration(const ConfigurationForm& form, const DeviceTables& tables,
                                      const ChosenAgent& agent, ListRowCounts rows);

// Subnet rules, on values with the first octet most significant.
// The host part of ip is neither all zeros nor all ones (a /32 mask passes).
bool HostPartValid(uint32_t ip, uint32_t mask);
// No one bit after a zero bit, from the top.
bool MaskContiguous(uint32_t mask);

} // namespace kestrel
