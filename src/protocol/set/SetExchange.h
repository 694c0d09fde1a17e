#pragma once
// One set request, built from a working record and sent once: by unicast to
// an agent of the monitor list, by broadcast and then to the multicast group
// for an agent of the discovery list. Nothing is resent and no answer is
// awaited; the receive dispatcher reports the agent's answer.

#include "protocol/seams/Notifier.h"
#include "protocol/seams/Seams.h"
#include "protocol/settings/ProgramState.h"
#include "protocol/wire/DeviceRecord.h"
#include "protocol/wire/TlvCodec.h"

#include <cstdint>
#include <vector>

namespace kestrel {

enum class SetVariant { Configuration, Password, DhcpRefresh };

// The datagram of a set request to the agent of the selection context:
// header, then the fields the working record's mask allows. Sets
// pending_set_mac, and pending_set_ip when the request carries an address;
// set_sequence is carried, not advanced. The DHCP refresh variant always
// switches DHCP on; dhcp_change counts for the configuration variant only.
std::vector<uint8_t> BuildSetRequest(ProgramState& state, SetVariant variant,
                                     const DeviceRecord& working, DhcpChange dhcp_change);

// Builds the request, accounts it as a poll and sends it. A failed send is
// shown and ends the request (no multicast copy after a failed broadcast).
// True when every send went out.
bool SendSetRequest(ProgramState& state, DatagramSender& sender, Notifier& notifier,
                    SetVariant variant, const DeviceRecord& working, DhcpChange dhcp_change);

} // namespace kestrel
