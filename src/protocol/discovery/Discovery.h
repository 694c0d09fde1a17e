#pragma once
// The Discovery button: one discovery request by limited broadcast and then to
// the multicast group. Nothing waits for the answers; the receive dispatcher
// adds each agent as it replies.

#include "protocol/seams/Notifier.h"
#include "protocol/seams/Seams.h"
#include "protocol/settings/ProgramState.h"

#include <functional>
#include <optional>

namespace kestrel {

// Accounts a poll against every monitored agent and empties the discovery
// list at once; the request goes out once the multicast re-join has ended,
// and `sent` runs right after it (also when a send failed).
void OnDiscovery(ProgramState& state, DatagramSender& sender, ListHooks& lists, Notifier& notifier,
                 std::function<void()> sent = {});

// Empties the discovery list and its table together, so no record outlives
// its row.
void ClearDiscovery(ProgramState& state, ListHooks& lists);

// The multicast group as an address, or nothing when the settings hold no
// valid group (for instance after a failed settings load).
std::optional<uint32_t> MulticastGroupAddress(const ProtocolSettings& settings);

} // namespace kestrel
