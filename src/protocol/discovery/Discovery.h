#pragma once
// The Discovery button: one discovery request by limited broadcast and then to
// the multicast group. Nothing waits for the answers; the receive dispatcher
// adds each agent as it replies.

#include "protocol/lists/DeviceTables.h"
#include "protocol/seams/Outcomes.h"
#include "protocol/seams/Seams.h"
#include "protocol/settings/ProtocolSettings.h"

#include <functional>
#include <optional>

namespace kestrel {

// Accounts a poll against every monitored agent and empties the discovery
// list at once; the request goes out once the multicast re-join has ended,
// and `sent` runs right after it with the failed send, if one failed (it has
// been reported to events as well).
using DiscoverySent = std::function<void(std::optional<SendFailure>)>;
void OnDiscovery(const ProtocolSettings& settings, DeviceTables& tables, DatagramSender& sender,
                 ListHooks& lists, ProtocolEvents& events, DiscoverySent sent = {});

// Empties the discovery list and its table together, so no record outlives
// its row.
void ClearDiscovery(DeviceTable& discovery, ListHooks& lists);

// The multicast group as an address, or nothing when the settings hold no
// valid group (for instance after a failed settings load).
std::optional<uint32_t> MulticastGroupAddress(const ProtocolSettings& settings);

} // namespace kestrel
