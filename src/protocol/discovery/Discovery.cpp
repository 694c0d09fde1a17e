#include "protocol/discovery/Discovery.h"

#include "protocol/dispatch/ProtocolMessages.h"
#include "protocol/polling/PollAccounting.h"
#include "protocol/wire/Ipv4Text.h"
#include "protocol/wire/PacketHeader.h"

#include <array>

namespace kestrel {

void ClearDiscovery(ProgramState& state, ListHooks& lists) {
    lists.ClearDiscoveryRows();
    state.discovery.Clear();
}

std::optional<uint32_t> MulticastGroupAddress(const ProtocolSettings& settings) {
    return ParseIpv4(settings.multicast_group);
}

namespace {

void SendDiscovery(ProgramState& state, DatagramSender& sender, ListHooks& lists,
                   Notifier& notifier) {
    if (!sender.EnableBroadcast()) {
        notifier.Show(kSetSocketOptError);
        return;
    }
    const ProtocolSettings& settings = state.settings;
    std::array<uint8_t, kHeaderSize> request;
    BuildRequestHeader(request, CMD_DISCOVERY, settings.utility_id);
    // Replies to an earlier request may have come in during the re-join:
    // rows and records go together.
    if (state.discovery.count() > 0)
        ClearDiscovery(state, lists);
    else
        state.discovery.Clear();
    if (!sender.SendDatagram(SocketKind::Broadcast, request, kLimitedBroadcast,
                             settings.AgentPort())) {
        notifier.Show(kDiscoverySendFail);
        return;
    }

    BuildRequestHeader(request, CMD_DISCOVERY, settings.utility_id);
    state.discovery.Clear();
    // Without a valid group there is nowhere to send the copy: that is a
    // failed send, not a silent success.
    const std::optional<uint32_t> group = MulticastGroupAddress(settings);
    if (!group ||
        !sender.SendDatagram(SocketKind::Multicast, request, *group, settings.AgentPort()))
        notifier.Show(kDiscoverySendFail);
}

} // namespace

void OnDiscovery(ProgramState& state, DatagramSender& sender, ListHooks& lists, Notifier& notifier,
                 std::function<void()> sent) {
    // A discovery asks every monitored device too, so it counts as a poll.
    AccountAllPolls(state.monitor);
    ClearDiscovery(state, lists);
    // Snooping switches forward the answers only to fresh members.
    sender.RejoinMulticastGroup([&state, &sender, &lists, &notifier, sent = std::move(sent)] {
        SendDiscovery(state, sender, lists, notifier);
        if (sent)
            sent();
    });
}

} // namespace kestrel
