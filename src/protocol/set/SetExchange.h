#pragma once
// One set request, built from a working record and sent once: by unicast to
// an agent of the monitor list, by broadcast and then to the multicast group
// for an agent of the discovery list. Nothing is resent; the receive
// dispatcher matches the agent's answer against the exchange's pending set.

#include "protocol/lists/DeviceTables.h"
#include "protocol/seams/Outcomes.h"
#include "protocol/seams/Seams.h"
#include "protocol/set/DeviceSelection.h"
#include "protocol/settings/ProtocolSettings.h"
#include "protocol/wire/DeviceRecord.h"
#include "protocol/wire/TlvCodec.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrel {

enum class SetVariant { Configuration, Password, DhcpRefresh };

// The state of the set exchange, one per program: the sequence that set
// requests and the upgrade trigger carry (the agent's answer advances it),
// and the request awaiting its answer.
struct SetExchange {
    uint16_t sequence = 0;
    std::string pending_mac; // empty when no set is pending
    uint32_t pending_ip = 0; // the address a request asked for; 0 when none
    // Where the pending request's answer may come from: the address it was
    // sent to (a monitor-list agent) or the agent's recorded address (a
    // discovery-list agent); 0 when none. And the sequence it carried.
    uint32_t answer_from = 0;
    uint16_t pending_sequence = 0;

    void ClearPending() {
        pending_mac.clear();
        pending_ip = 0;
        answer_from = 0;
    }
    // An answer from this address may settle the pending request: its
    // agent's address, or the one the request gave it.
    bool AnswerFrom(uint32_t sender) const {
        return sender != 0 && (sender == answer_from || sender == pending_ip);
    }
};

// What a set request needs besides its content, lent by its owners.
struct SetLink {
    const ProtocolSettings& settings;
    SetExchange& exchange;
    DeviceTables& tables;
    DatagramSender& sender;
};

// What a set request carries: the working record and the DHCP change.
struct SetPayload {
    DeviceRecord working;
    DhcpChange dhcp_change = DhcpChange::Untouched;
};

// The datagram of a set request to the chosen agent: header, then the
// fields the working record's mask allows. Sets the pending MAC, and the
// pending address when the request carries one; the sequence is carried,
// not advanced. The DHCP refresh variant always switches DHCP on;
// dhcp_change counts for the configuration variant only.
std::vector<uint8_t> BuildSetRequest(SetExchange& exchange, const ProtocolSettings& settings,
                                     AgentList list, SetVariant variant, const SetPayload& payload);

// Builds the request, accounts it as a poll and sends it. A failed send ends
// the request (no multicast copy after a failed broadcast) and is returned.
std::optional<SendFailure> SendSetRequest(const SetLink& link, const ChosenAgent& agent,
                                          SetVariant variant, const SetPayload& payload);

} // namespace kestrel
