#include "SetExchange.h"

#include "Discovery.h"
#include "PacketHeader.h"
#include "PollAccounting.h"
#include "SetMessages.h"

#include <algorithm>
#include <array>
#include <optional>

namespace kestrel {

namespace {

// The MAC bytes of a record's mac_text; what cannot be read stays zero.
MacBytes MacOf(const DeviceRecord& record) {
    MacBytes mac{};
    if (const std::optional<std::vector<uint8_t>> bytes = ParseHexText(FieldText(record.mac_text)))
        std::copy_n(bytes->begin(), std::min(bytes->size(), mac.size()), mac.begin());
    return mac;
}

} // namespace

std::vector<uint8_t> BuildSetRequest(ProgramState& state, SetVariant variant,
                                     const DeviceRecord& working, DhcpChange dhcp_change) {
    std::vector<uint8_t> datagram(kMaxDatagram, 0);
    const TargetedRequest request{
        .command = state.target_in_monitor ? CMD_UNICAST_SET : CMD_SET,
        .mac = MacOf(working),
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
    const uint16_t port = state.settings.AgentPort();

    if (state.target_in_monitor) {
        DeviceRecord& target = state.monitor.records[static_cast<std::size_t>(state.target_index)];
        AccountPoll(target);
        // To the address the agent has now; a new one in the request is
        // only its future address.
        if (!sender.SendDatagram(SocketKind::Unicast, datagram, target.ip, port)) {
            notifier.Show(variant == SetVariant::Password ? kUnicastPasswordSendError
                                                          : kUnicastSetSendError);
            return false;
        }
        return true;
    }

    AccountAllPolls(state.monitor);
    if (!sender.SendDatagram(SocketKind::Broadcast, datagram, kLimitedBroadcast, port)) {
        notifier.Show(kUdpSetSendError);
        return false;
    }
    // Without a valid group there is nowhere to send the copy: a failed send.
    const std::optional<uint32_t> group = MulticastGroupAddress(state.settings);
    if (!group || !sender.SendDatagram(SocketKind::Multicast, datagram, *group, port)) {
        notifier.Show(kUdpSetSendError);
        return false;
    }
    return true;
}

} // namespace kestrel
