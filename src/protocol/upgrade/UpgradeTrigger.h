#pragma once
// The request that asks an agent to take a firmware write: the header with
// command 10, the agent's MAC and the set sequence, then its password.

#include "protocol/settings/ProtocolSettings.h"
#include "protocol/wire/DeviceRecord.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace kestrel {

// The sequence is the current set_sequence, carried, not advanced: the
// agent's reply advances it.
std::vector<uint8_t> BuildUpgradeTrigger(const ProtocolSettings& settings, uint16_t sequence,
                                         const DeviceRecord& agent, std::string_view password);

} // namespace kestrel
