#pragma once
// How a request reaches the agent chosen in one of the lists: by unicast to
// its address when it was chosen in the monitor list; by broadcast and then
// to the multicast group when chosen in the discovery list, since such an
// agent may sit in another subnet than its address says.

#include "protocol/seams/Seams.h"
#include "protocol/settings/ProtocolSettings.h"
#include "protocol/wire/DeviceRecord.h"
#include "protocol/wire/PacketHeader.h"

#include <cstdint>
#include <span>

namespace kestrel {

// The MAC bytes a request to the agent carries, from its MAC text; what
// cannot be read stays zero.
MacBytes TargetMac(const DeviceRecord& agent);

// Sends the datagram to the agent's port. Stops at the first failed send
// (no multicast copy after a failed broadcast); false then. Without a valid
// multicast group the copy has nowhere to go: a failed send too.
bool SendToTarget(DatagramSender& sender, const ProtocolSettings& settings, bool in_monitor,
                  uint32_t ip, std::span<const uint8_t> datagram);

} // namespace kestrel
