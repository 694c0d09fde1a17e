#include "upgrade/UpgradeRun.h"

#include "protocol/set/TargetSend.h"
#include "protocol/upgrade/UpgradeChecks.h"
#include "protocol/upgrade/UpgradeMessages.h"
#include "protocol/upgrade/UpgradeTrigger.h"
#include "protocol/wire/PacketHeader.h"

#include <QPointer>

namespace kestrel {

namespace {

UpgradeEnd Ending(UpgradeEndKind kind, std::optional<Message> reason = std::nullopt) {
    UpgradeEnd end;
    end.kind = kind;
    end.reason = reason;
    return end;
}

} // namespace

UpgradeRun::UpgradeRun(const ProtocolSettings& settings, const SetExchange& exchange,
                       DatagramSender& sender, CoreEvents& events, QObject* parent)
    : QObject(parent), settings_(settings), exchange_(exchange), sender_(sender),
      trigger_wait_(this), transfer_(this) {
    trigger_wait_.setObjectName(QStringLiteral("upgradeTriggerWait"));
    trigger_wait_.setSingleShot(true);
    trigger_wait_.setInterval(kTriggerWaitMs);
    trigger_wait_.setTimerType(Qt::PreciseTimer);
    connect(&trigger_wait_, &QTimer::timeout, this, &UpgradeRun::OnTriggerWaitEnded);
    connect(&transfer_, &FirmwareTransfer::Progress, this, &UpgradeRun::Progress);
    connect(&transfer_, &FirmwareTransfer::SendFailed, this, &UpgradeRun::SendFailed);
    connect(&transfer_, &FirmwareTransfer::Finished, this, &UpgradeRun::OnTransferFinished);
    connect(&events, &CoreEvents::triggerAcknowledged, this, [this](const std::string& mac) {
        if (FromTarget(mac))
            trigger_acked_ = true;
    });
    connect(&events, &CoreEvents::statusReply, this, [this](const StatusReply& reply) {
        if (reply.command == CMD_UPGRADE_TRIGGER_REPLY && phase_ == Phase::Starting &&
            FromTarget(reply.mac_text))
            trigger_status_ = reply.status;
    });
}

bool UpgradeRun::FromTarget(const std::string& mac_text) const {
    const std::string_view target = FieldText(target_.mac_text);
    return !target.empty() && mac_text == target;
}

void UpgradeRun::SetTarget(const DeviceTables& tables, const ChosenAgent& chosen) {
    target_ = chosen.Record(tables);
    target_in_monitor_ = chosen.in_monitor();
}

void UpgradeRun::SetPhase(Phase phase) {
    const bool was_busy = busy();
    phase_ = phase;
    if (busy() != was_busy)
        Q_EMIT BusyChanged(busy());
}

void UpgradeRun::Start(std::string password, std::string firmware_path) {
    if (busy())
        return;
    SetPhase(Phase::Starting);
    trigger_status_.reset();
    const unsigned run = ++run_;
    // The sockets may outlive this object; the continuation checks first.
    sender_.RejoinMulticastGroup([self = QPointer<UpgradeRun>(this), run,
                                  password = std::move(password), path = std::move(firmware_path)] {
        if (self && self->run_ == run)
            self->CheckAndTrigger(password, path);
    });
}

void UpgradeRun::End(const UpgradeEnd& end) {
    // A start that ends is said first, then the run goes idle, unless a
    // listener's box saw it cancelled or started afresh.
    const unsigned run = run_;
    Q_EMIT Ended(end);
    if (run == run_)
        SetPhase(Phase::Idle);
}

void UpgradeRun::CheckAndTrigger(const std::string& password, const std::string& firmware_path) {
    if (const std::optional<Message> refusal = CheckUpgradeForm(password, firmware_path)) {
        End(Ending(UpgradeEndKind::Refused, *refusal));
        return;
    }
    firmware_path_ = firmware_path;
    const std::vector<uint8_t> trigger =
        BuildUpgradeTrigger(settings_, exchange_.sequence, target_, password);
    // Sent like a set request, but it is no poll: no poll accounting.
    if (!SendToTarget(sender_, settings_, target_in_monitor_, target_.ip, trigger)) {
        const unsigned run = run_;
        Q_EMIT SendFailed({SendKind::UpgradeTrigger, sender_.LastSendError()});
        if (run == run_)
            End(Ending(UpgradeEndKind::LocalFailure));
        return;
    }
    trigger_wait_.start();
}

void UpgradeRun::OnTriggerWaitEnded() {
    if (phase_ != Phase::Starting)
        return;
    // Read once, now: the acknowledgement arrives while the wait runs.
    if (!trigger_acked_) {
        UpgradeEnd end = Ending(trigger_status_ ? UpgradeEndKind::TriggerRefused
                                                : UpgradeEndKind::TriggerNotAnswered);
        end.status = trigger_status_.value_or(0);
        End(end);
        return;
    }
    const unsigned run = run_;
    SetPhase(Phase::Transferring);
    const std::optional<FirmwareTransfer::OpenFailure> failure =
        transfer_.OpenTftpSocket({target_.ip, firmware_path_, target_.field_mask[3]});
    if (run != run_)
        return; // cancelled meanwhile
    if (failure) {
        // The flag stays for the next Start.
        UpgradeEnd end = Ending(UpgradeEndKind::LocalFailure, failure->reason);
        end.triggered = true;
        End(end);
        return;
    }
    trigger_acked_ = false;
    Q_EMIT TransferStarted();
}

void UpgradeRun::OnTransferFinished(const UpgradeEnd& end) {
    // The transfer is over before anyone hears of it.
    SetPhase(Phase::Idle);
    Q_EMIT Ended(end);
}

void UpgradeRun::Cancel() {
    ++run_;
    trigger_wait_.stop();
    transfer_.Close();
    SetPhase(Phase::Idle);
}

} // namespace kestrel
