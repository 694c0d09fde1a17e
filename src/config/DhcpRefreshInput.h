#pragma once
// What the DHCP Refresh dialog's Apply sends: the agent's record with the
// typed password. The password is not checked; the agent answers for it.

#include "protocol/wire/DeviceRecord.h"

#include <string_view>

namespace kestrel {

// A copy of the agent's record with the password.
DeviceRecord DhcpRefreshWorking(const DeviceRecord& agent, std::string_view password);

} // namespace kestrel
