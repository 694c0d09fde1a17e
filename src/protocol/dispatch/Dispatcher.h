#pragma once
// The one place every received datagram goes through: header checks, the
// sequence and upgrade flags, status messages, traps, and storing the agent
// into the monitor or the discovery table.

#include "protocol/seams/Notifier.h"
#include "protocol/seams/Seams.h"
#include "protocol/settings/ProgramState.h"
#include "protocol/wire/DeviceRecord.h"

#include <cstdint>
#include <span>

namespace kestrel {

// Copies source over destination whole, but keeps the destination's DHCP
// state when the reply did not report one and the agent's interface version
// is 2 or more.
void MergeReplyRecord(DeviceRecord& destination, const DeviceRecord& source);

class Dispatcher {
public:
    Dispatcher(ProgramState& state, ListHooks& lists, Notifier& notifier,
               TrapHandler* traps = nullptr);

    // Handles one received datagram; sender_ip has the first octet most
    // significant. Anything past 1500 bytes is ignored, as the receive buffer
    // would cut it.
    void DispatchDatagram(std::span<const uint8_t> datagram, uint32_t sender_ip);

private:
    enum class StoreMode { Merge, Plain };
    enum class HeaderOnlyKind { OtherProtocolVersion, Loader };

    void StoreReply(std::span<const uint8_t> tlv_area, DeviceRecord& staging, StoreMode mode);
    void StoreHeaderOnlyReply(DeviceRecord& staging, HeaderOnlyKind kind);
    void ConfirmPendingSet(const DeviceRecord& staging);
    // Adds or refreshes the agent in the discovery table; false when the
    // table is full.
    bool StoreInDiscovery(DeviceRecord& staging, bool merge);
    void ShowAddFail();

    ProgramState& state_;
    ListHooks& lists_;
    Notifier& notifier_;
    TrapHandler* traps_;
};

} // namespace kestrel
