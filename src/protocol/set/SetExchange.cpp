#include "protocol/set/SetExchange.h"

#include "protocol/polling/PollAccounting.h"
#include "protocol/set/TargetSend.h"
#include "protocol/wire/PacketHeader.h"

namespace kestrel {

std::vector<uint8_t> BuildSetRequest(SetExchange& exchange, const ProtocolSettings& settings,
                                     AgentList list, SetVariant variant,
                                     const SetPayload& payload) {
    const DeviceRecord& working = payload.working;
    std::vector<uint8_t> datagram(kMaxDatagram, 0);
    const TargetedRequest request{
        .command = list == AgentList::Monitor ? CMD_UNICAST_SET : CMD_SET,
        .mac = TargetMac(working),
        .utility_id = settings.utility_id,
        .sequence = exchange.sequence,
        .dhcp_refresh = variant == SetVariant::DhcpRefresh,
    };
    BuildTargetedHeader(std::span<uint8_t, kHeaderSize>(datagram.data(), kHeaderSize), request);
    exchange.pending_mac = FieldText(working.mac_text);
    exchange.pending_sequence = exchange.sequence;

    const std::span<uint8_t> fields = std::span(datagram).subspan(kHeaderSize);
    std::size_t length = 0;
    switch (variant) {
    case SetVariant::Configuration:
        length = EncodeSetFields(fields, working, payload.dhcp_change, exchange.pending_ip);
        break;
    case SetVariant::DhcpRefresh:
        length = EncodeSetFields(fields, working, DhcpChange::SwitchOn, exchange.pending_ip);
        break;
    case SetVariant::Password:
        length = EncodePasswordFields(fields, working);
        break;
    }
    datagram.resize(kHeaderSize + length);
    return datagram;
}

std::optional<SendFailure> SendSetRequest(const SetLink& link, const ChosenAgent& agent,
                                          SetVariant variant, const SetPayload& payload) {
    const std::vector<uint8_t> datagram =
        BuildSetRequest(link.exchange, link.settings, agent.list, variant, payload);
    DeviceRecord& target = agent.Record(link.tables);
    // Its answer comes from the address the agent has now; a new one in the
    // request is only its future address.
    link.exchange.answer_from = target.ip;
    uint32_t ip = 0;
    if (agent.in_monitor()) {
        AccountPoll(target);
        ip = target.ip;
    } else {
        AccountAllPolls(link.tables.monitor);
    }
    if (SendToTarget(link.sender, link.settings, agent.in_monitor(), ip, datagram))
        return std::nullopt;
    const int error = link.sender.LastSendError();
    if (!agent.in_monitor())
        return SendFailure{SendKind::SetBroadcast, error};
    return SendFailure{
        variant == SetVariant::Password ? SendKind::PasswordUnicast : SendKind::SetUnicast, error};
}

} // namespace kestrel
