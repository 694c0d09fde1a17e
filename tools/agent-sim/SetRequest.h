#pragma once
// The agent's side of a set request: which fields came, their values, and
// what the agent makes of them.

#include "Agent.h"
#include "protocol/wire/DeviceRecord.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrel::sim {

struct SetRequest {
    uint32_t present = 0; // bit t-1 for each TLV type t up to 32 that came
    // Texts as sent, uncut, so that an over-long value is refused, not cut.
    std::optional<std::string> password;
    std::optional<std::string> new_password;
    std::optional<std::string> product_name;
    std::optional<std::string> system_name;
    std::optional<std::string> location;
    DeviceRecord values; // addresses, DHCP and group interval, decoded

    bool Has(uint16_t type) const { return type <= 32 && (present >> (type - 1)) & 1; }
};

// Reads the TLV area of a set request the way the agent's own interface
// version lays out TLV_DHCP. Stops at the first field it does not know or
// that does not fit; what came before it counts.
SetRequest ParseSetRequest(std::span<const uint8_t> tlv_area, uint16_t interface_version);

struct SetOutcome {
    int status = 0;
    std::vector<std::string> applied; // setting names, in the order applied
    std::vector<std::string> refused; // fields the mask does not allow
};

// A configuration or password change: checks the password, validates, then
// applies every field that the agent's mask allows. Nothing is applied unless
// the whole request is valid. `address_taken` tells whether another agent
// already uses an address.
SetOutcome ApplySetRequest(AgentSettings& s, const SetRequest& r,
                           const std::function<bool(uint32_t)>& address_taken);

// A DHCP refresh: the password, then success, or STATUS_DHCP_REFRESH_FAIL when
// DHCP is not on or the agent is told to fail. The zero addresses that the
// request carries are not settings and are never applied.
int ApplyDhcpRefresh(const AgentSettings& s, const SetRequest& r);

} // namespace kestrel::sim
