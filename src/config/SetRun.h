#pragma once
// One set request from button to answer, shared by the set dialogs and
// kestrel-cli: renew the multicast membership (on timers; the program goes
// on meanwhile), ask the front end for what to send (its checks run then,
// and it may give up), send it, then tell the agent's answer.

#include "core/CoreEvents.h"
#include "protocol/set/DeviceSelection.h"
#include "protocol/set/SetExchange.h"

#include <QObject>

#include <functional>
#include <optional>

namespace kestrel {

// The agent's answer to the request, as the run tells it.
struct SetAnswer {
    enum class Kind { Succeeded, Refused, PasswordError, DhcpRefreshFailed };
    Kind kind = Kind::Succeeded;
    int status = 0; // the agent's status when refused
    bool operator==(const SetAnswer&) const = default;
};

class SetRun : public QObject {
    Q_OBJECT
public:
    // What to send, read once the membership is renewed; nothing when the
    // front end's checks refused it (it has said why) or it gave up.
    using Payload = std::function<std::optional<SetPayload>()>;

    SetRun(const SetLink& link, CoreEvents& events, QObject* parent = nullptr);

    // Nothing while a run's re-join is under way.
    void Start(const ChosenAgent& agent, SetVariant variant, Payload payload);
    // The re-join is under way.
    bool running() const { return running_; }

Q_SIGNALS:
    void RunningChanged(bool running);
    // The payload was refused or withheld: nothing was sent.
    void Withheld();
    // The request is out; its answer follows as Answered, if it comes.
    void Sent();
    // Reported to the program's events as well, where the front end says it.
    void SendFailed(const kestrel::SendFailure& failure);
    void Answered(const kestrel::SetAnswer& answer);

private:
    void SetRunning(bool running);
    void Send(const ChosenAgent& agent, SetVariant variant, const Payload& payload);
    void OnStatusReply(const StatusReply& reply);

    SetLink link_;
    CoreEvents& events_;
    bool running_ = false;
    // The agent the last request went to, while its answer is awaited.
    std::optional<std::string> awaited_mac_;
    uint32_t awaited_ip_ = 0;
};

} // namespace kestrel
