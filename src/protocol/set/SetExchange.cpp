#include "protocol/set/SetExchange.h"

#include "protocol/polling/PollAccounting.h"
#include "protocol/set/SetMessages.h"
#include "protocol/set/TargetSend.h"
#include "protocol/wire/PacketHeader.h"

namespace kestrel {

std::vector<uint8_t> BuildSetRequest(ProgramState& state, SetVariant variant,
                                     const DeviceRecord& working, DhcpChange dhcp_change) {
    std::vector<uint8_t> datagram(kMaxDatagram, 0);
    const TargetedRequest request{
        .command = state.target_in_monitor ? CMD_UNICAST_SET : CMD_SET,
        .mac = TargetMac(working),
        .utility_id = state.settings.utility_id,
        .sequence = state.set_sequence,
        .dhcp_refresh = variant == SetVariant::DhcpRefresh,
    };
    BuildTargetedHeader(std::span<uint8_t, kHeaderSize>(datagram.data(), kHeaderSize), request);
    state.pending_set_mac = FieldText(working.mac_text);

    const std::span<uint8_t> fields = std::span(datagram).subspan(kHeaderSize);
    std::size_t length = 0;
    switch (variant) {
    case SetVariant::Configuration:
        length = EncodeSetFields(fields, working, dhcp_change, state.pending_set_ip);
        break;
    case SetVariant::DhcpRefresh:
        length = EncodeSetFields(fields, working, DhcpChange::SwitchOn, state.pending_set_ip);
        break;
    case SetVariant::Password:
        length = EncodePasswordFields(fields, working);
        break;
    }
    datagram.resize(kHeaderSize + length);
    return datagram;
}

bool SendSetRequest(ProgramState& state, DatagramSender& sender, Notifier& notifier,
                    SetVariant variant, const DeviceRecord& working, DhcpChange dhcp_change) {
    const std::vector<uint8_t> datagram = BuildSetRequest(state, variant, working, dhcp_change);
    uint32_t ip = 0;
    if (state.target_in_monitor) {
        DeviceRecord& target = state.monitor.records[static_cast<std::size_t>(state.target_index)];
        AccountPoll(target);
        // To the address the agent has now; a new one in the request is
        // only its future address.
        ip = target.ip;
    } else {
        AccountAllPolls(state.monitor);
    }
    if (SendToTarget(sender, state.settings, state.target_in_monitor, ip, datagram))
        return true;
    if (!state.target_in_monitor)
        notifier.Show(kUdpSetSendError);
    else
        notifier.Show(variant == SetVariant::Password ? kUnicastPasswordSendError
                                                      : kUnicastSetSendError);
    return false;
}

} // namespace kestrel
