#pragma once
// What the DHCP Refresh dialog's Apply sends: the agent's record with the
// typed password. The password is not checked; the agent answers for it.

#include "protocol/settings/ProgramState.h"
#include "protocol/wire/DeviceRecord.h"

#include <string_view>

namespace kestrel {

// The agent is the one of the selection context in state.
DeviceRecord DhcpRefreshWorking(const ProgramState& state, std::string_view password);

} // namespace kestrel
