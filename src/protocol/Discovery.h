#pragma once
// The Discovery button: one discovery request by limited broadcast and then to
// the multicast group. Nothing waits for the answers; the receive dispatcher
// adds each agent as it replies.

#include "Notifier.h"
#include "ProgramState.h"
#include "Seams.h"

#include <optional>

namespace kestrel {

void OnDiscovery(ProgramState& state, DatagramSender& sender, ListHooks& lists, Notifier& notifier);

// Empties the discovery list and its table together, so no record outlives
// its row.
void ClearDiscovery(ProgramState& state, ListHooks& lists);

// The multicast group as an address, or nothing when the settings hold no
// valid group (for instance after a failed settings load).
std::optional<uint32_t> MulticastGroupAddress(const ProtocolSettings& settings);

} // namespace kestrel
