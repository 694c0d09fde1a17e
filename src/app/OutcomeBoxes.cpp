#include "app/OutcomeBoxes.h"

#include "protocol/dispatch/ProtocolMessages.h"
#include "protocol/upgrade/UpgradeMessages.h"
#include "protocol/wire/Ipv4Text.h"
#include "protocol/words/OutcomeWords.h"
#include "upgrade/RediscoveryTimer.h"
#include "upgrade/UpgradeRun.h"

namespace kestrel {

OutcomeBoxes::OutcomeBoxes(Notifier& now, Notifier& posted, QObject* parent)
    : QObject(parent), now_(now), posted_(posted) {}

void OutcomeBoxes::ShowSendFailure(const SendFailure& failure) {
    std::string storage;
    const Message message = SendFailureMessage(failure, storage);
    // The alive check's resends are merged and shown after its tick.
    Notifier& via = failure.kind == SendKind::Resend ? posted_ : now_;
    via.Show(message);
}

void OutcomeBoxes::Listen(CoreEvents& events) {
    connect(&events, &CoreEvents::sendFailed, this, &OutcomeBoxes::ShowSendFailure);
    connect(&events, &CoreEvents::statusReply, this, [this](const StatusReply& reply) {
        std::string storage;
        posted_.Show(StatusReplyMessage(reply, storage));
    });
    connect(&events, &CoreEvents::setConfirmed, this,
            [this](const SetConfirmation&) { posted_.Show(kSetSuccessful); });
    connect(&events, &CoreEvents::discoveryTableFull, this,
            [this] { posted_.Show(kDiscoveryTableFull); });
}

void OutcomeBoxes::Listen(UpgradeRun& upgrade, EventLog& log) {
    connect(&upgrade, &UpgradeRun::SendFailed, this, &OutcomeBoxes::ShowSendFailure);
    connect(&upgrade, &UpgradeRun::Ended, this,
            [this, &upgrade, &log](const UpgradeEnd& end) { ShowUpgradeEnd(end, upgrade, log); });
}

void OutcomeBoxes::ShowUpgradeEnd(const UpgradeEnd& end, UpgradeRun& upgrade, EventLog& log) {
    if (const std::optional<std::string> line = UpgradeLogText(end))
        (void)log.LogUpgradeFailure(FormatIpv4(upgrade.target().ip), *line);
    if (end.kind == UpgradeEndKind::DeviceError) {
        const std::string text = DeviceErrorBoxText(end);
        now_.Show(kDeviceError.WithText(text));
    } else if (end.reason) {
        now_.Show(*end.reason);
    }
}

void OutcomeBoxes::Listen(RediscoveryTimer& rediscovery) {
    connect(&rediscovery, &RediscoveryTimer::Finished, this,
            [this](Rediscovery::Outcome outcome) { now_.Show(RediscoveryMessage(outcome)); });
}

} // namespace kestrel
