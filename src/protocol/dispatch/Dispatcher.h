#pragma once
// The one place every received datagram goes through: header checks, the
// sequence and upgrade flags, status messages, traps, and storing the agent
// into the monitor or the discovery table.

#include "protocol/lists/DeviceTables.h"
#include "protocol/seams/Outcomes.h"
#include "protocol/seams/Seams.h"
#include "protocol/set/SetExchange.h"
#include "protocol/settings/ProtocolSettings.h"
#include "protocol/wire/DeviceRecord.h"

#include <cstdint>
#include <optional>
#include <span>

namespace kestrel {

// Copies source over destination whole, but keeps the destination's DHCP
// state when the reply did not report one and the agent's interface version
// is 2 or more.
void MergeReplyRecord(DeviceRecord& destination, const DeviceRecord& source);

class Dispatcher {
public:
    Dispatcher(const ProtocolSettings& settings, SetExchange& exchange, DeviceTables& tables,
               ListHooks& lists, ProtocolEvents& events, TrapHandler* traps = nullptr);

    // Handles one received datagram; sender_ip has the first octet most
    // significant. Anything past 1500 bytes is ignored, as the receive buffer
    // would cut it.
    void DispatchDatagram(std::span<const uint8_t> datagram, uint32_t sender_ip);

private:
    enum class StoreMode { Merge, Plain };
    enum class HeaderOnlyKind { OtherProtocolVersion, Loader };

    // Where a datagram came from and what it said, handed down with it: a
    // listener's box may let the next datagram in before this one is done.
    struct Origin {
        uint32_t sender_ip = 0;
        uint16_t command = 0;
        uint16_t sequence = 0;
    };

    void StoreReply(std::span<const uint8_t> tlv_area, DeviceRecord& staging, StoreMode mode,
                    const Origin& origin);
    void StoreHeaderOnlyReply(DeviceRecord& staging, HeaderOnlyKind kind, const Origin& origin);
    void ConfirmPendingSet(const DeviceRecord& staging, const Origin& origin);
    // Rewrites monitor record `index` with the reply, marked answering with
    // this status image, and shows it.
    AgentStored StoreInMonitor(int index, DeviceRecord& staging, bool merge, int32_t status_image,
                               const Origin& origin);
    // Adds or refreshes the agent in the discovery table; nothing when the
    // table is full.
    std::optional<AgentStored> StoreInDiscovery(DeviceRecord& staging, bool merge,
                                                const Origin& origin);
    void ReportTableFull();

    const ProtocolSettings& settings_;
    SetExchange& exchange_;
    DeviceTables& tables_;
    ListHooks& lists_;
    ProtocolEvents& events_;
    TrapHandler* traps_;
};

} // namespace kestrel
