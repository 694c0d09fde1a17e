#pragma once
// What the network side of the program reports, as typed Qt signals: one
// object per program, handed to the receive path, the polling and the
// discovery. Each front end connects to the signals it needs and says them
// in its own words; nothing here knows a message text.

#include "protocol/seams/Outcomes.h"

#include <QObject>

#include <string>
#include <string_view>

namespace kestrel {

class CoreEvents : public QObject, public ProtocolEvents {
    Q_OBJECT
public:
    using QObject::QObject;

    void OnSendFailed(const SendFailure& failure) override { Q_EMIT sendFailed(failure); }
    void OnStatusReply(const StatusReply& reply) override { Q_EMIT statusReply(reply); }
    void OnSetConfirmed(const SetConfirmation& set) override { Q_EMIT setConfirmed(set); }
    void OnAgentStored(const AgentStored& stored) override { Q_EMIT agentStored(stored); }
    void OnAgentLost(const AgentLost& lost) override { Q_EMIT agentLost(lost); }
    void OnDiscoveryReply(std::string_view mac_text) override {
        Q_EMIT discoveryReply(std::string(mac_text));
    }
    void OnTriggerAcknowledged(std::string_view mac_text) override {
        Q_EMIT triggerAcknowledged(std::string(mac_text));
    }
    void OnDiscoveryTableFull() override { Q_EMIT discoveryTableFull(); }
    void OnDatagramDropped(DropReason reason) override { Q_EMIT datagramDropped(reason); }

Q_SIGNALS:
    void sendFailed(const kestrel::SendFailure& failure);
    void statusReply(const kestrel::StatusReply& reply);
    void setConfirmed(const kestrel::SetConfirmation& set);
    void agentStored(const kestrel::AgentStored& stored);
    void agentLost(const kestrel::AgentLost& lost);
    void discoveryReply(const std::string& mac_text);
    void triggerAcknowledged(const std::string& mac_text);
    void discoveryTableFull();
    void datagramDropped(kestrel::DropReason reason);
};

} // namespace kestrel
