#include "protocol/discovery/Discovery.h"

#include "protocol/polling/PollAccounting.h"
#include "protocol/wire/Ipv4Text.h"
#include "protocol/wire/PacketHeader.h"

#include <array>

namespace kestrel {

void ClearDiscovery(DeviceTable& discovery, ListHooks& lists) {
    lists.ClearDiscoveryRows();
    discovery.Clear();
}

std::optional<uint32_t> MulticastGroupAddress(const ProtocolSettings& settings) {
    return ParseIpv4(settings.multicast_group);
}

namespace {

std::optional<SendFailure> SendDiscovery(const ProtocolSettings& settings, DeviceTable& discovery,
                                         DatagramSender& sender, ListHooks& lists) {
    if (!sender.EnableBroadcast())
        return SendFailure{SendKind::BroadcastOption, sender.LastSendError()};
    std::array<uint8_t, kHeaderSize> request;
    BuildRequestHeader(request, CMD_DISCOVERY, settings.utility_id);
    // Replies to an earlier request may have come in during the re-join:
    // rows and records go together.
    if (discovery.count() > 0)
        ClearDiscovery(discovery, lists);
    else
        discovery.Clear();
    if (!sender.SendDatagram(SocketKind::Broadcast, request, kLimitedBroadcast,
                             settings.AgentPort()))
        return SendFailure{SendKind::Discovery, sender.LastSendError()};

    BuildRequestHeader(request, CMD_DISCOVERY, settings.utility_id);
    discovery.Clear();
    // Without a valid group there is nowhere to send the copy: that is a
    // failed send, not a silent success.
    const std::optional<uint32_t> group = MulticastGroupAddress(settings);
    if (!group)
        return SendFailure{SendKind::Discovery, 0};
    if (!sender.SendDatagram(SocketKind::Multicast, request, *group, settings.AgentPort()))
        return SendFailure{SendKind::Discovery, sender.LastSendError()};
    return std::nullopt;
}

} // namespace

void OnDiscovery(const ProtocolSettings& settings, DeviceTables& tables, DatagramSender& sender,
                 ListHooks& lists, ProtocolEvents& events, DiscoverySent sent) {
    // A discovery asks every monitored device too, so it counts as a poll.
    AccountAllPolls(tables.monitor);
    ClearDiscovery(tables.discovery, lists);
    // Snooping switches forward the answers only to fresh members.
    sender.RejoinMulticastGroup(
        [&settings, &tables, &sender, &lists, &events, sent = std::move(sent)] {
            const std::optional<SendFailure> failure =
                SendDiscovery(settings, tables.discovery, sender, lists);
            if (failure)
                events.OnSendFailed(*failure);
            if (sent)
                sent(failure);
        });
}

} // namespace kestrel
