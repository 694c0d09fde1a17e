#include "config/SetRun.h"

#include "protocol/wire/PacketHeader.h"

#include <QPointer>

namespace kestrel {

SetRun::SetRun(const SetLink& link, CoreEvents& events, QObject* parent)
    : QObject(parent), link_(link), events_(events) {
    connect(&events, &CoreEvents::setConfirmed, this, [this](const SetConfirmation&) {
        // The dispatcher matched it with the exchange's pending set.
        if (!awaited_mac_)
            return;
        awaited_mac_.reset();
        Q_EMIT Answered({SetAnswer::Kind::Succeeded, 0});
    });
    connect(&events, &CoreEvents::statusReply, this, &SetRun::OnStatusReply);
}

void SetRun::SetRunning(bool running) {
    if (running_ == running)
        return;
    running_ = running;
    Q_EMIT RunningChanged(running);
}

void SetRun::Start(const ChosenAgent& agent, SetVariant variant, Payload payload) {
    if (running_)
        return;
    SetRunning(true);
    // The sockets may outlive this run; the continuation checks first.
    link_.sender.RejoinMulticastGroup(
        [self = QPointer<SetRun>(this), agent, variant, payload = std::move(payload)] {
            if (!self)
                return;
            self->SetRunning(false);
            self->Send(agent, variant, payload);
        });
}

void SetRun::Send(const ChosenAgent& agent, SetVariant variant, const Payload& payload) {
    const std::optional<SetPayload> content = payload();
    if (!content) {
        Q_EMIT Withheld();
        return;
    }
    const DeviceRecord& record = agent.Record(link_.tables);
    const std::optional<SendFailure> failure = SendSetRequest(link_, agent, variant, *content);
    if (failure) {
        awaited_mac_.reset();
        const QPointer<SetRun> self(this);
        events_.OnSendFailed(*failure);
        if (self)
            Q_EMIT SendFailed(*failure);
        return;
    }
    awaited_mac_ = std::string(FieldText(content->working.mac_text));
    awaited_ip_ = record.ip;
    Q_EMIT Sent();
}

void SetRun::OnStatusReply(const StatusReply& reply) {
    const bool set_reply = reply.command == CMD_SET_REPLY || reply.command == CMD_UNICAST_SET_REPLY;
    if (!awaited_mac_ || !set_reply)
        return;
    // Its agent's refusal: from the address the request went to (or the
    // one it gave the agent), with the agent's MAC.
    const bool from_agent =
        reply.ip != 0 && (reply.ip == awaited_ip_ || reply.ip == link_.exchange.pending_ip);
    if (reply.mac_text != *awaited_mac_ || !from_agent)
        return;
    awaited_mac_.reset();
    SetAnswer answer{SetAnswer::Kind::Refused, reply.status};
    if (reply.status == STATUS_PASSWORD_ERROR)
        answer.kind = SetAnswer::Kind::PasswordError;
    else if (reply.status == STATUS_DHCP_REFRESH_FAIL)
        answer.kind = SetAnswer::Kind::DhcpRefreshFailed;
    Q_EMIT Answered(answer);
}

} // namespace kestrel
