#include "UpgradeRun.h"

#include "core/Latin1.h"
#include "protocol/set/DeviceSelection.h"
#include "protocol/set/TargetSend.h"
#include "protocol/upgrade/UpgradeChecks.h"
#include "protocol/upgrade/UpgradeMessages.h"
#include "protocol/upgrade/UpgradeTrigger.h"

#include <QPointer>

#include <string_view>

namespace kestrel {

namespace {

// The fourth word of the field mask decides the reboot hint of a device error.
uint32_t FieldMaskWord3(const DeviceRecord& r) {
    return r.field_mask[3];
}

} // namespace

UpgradeRun::UpgradeRun(ProgramState& state, DatagramSender& sender, Notifier& notifier,
                       QObject* parent)
    : QObject(parent), state_(state), sender_(sender), notifier_(notifier), trigger_wait_(this),
      transfer_(notifier, this) {
    trigger_wait_.setObjectName(QStringLiteral("upgradeTriggerWait"));
    trigger_wait_.setSingleShot(true);
    trigger_wait_.setInterval(kTriggerWaitMs);
    trigger_wait_.setTimerType(Qt::PreciseTimer);
    connect(&trigger_wait_, &QTimer::timeout, this, &UpgradeRun::OnTriggerWaitEnded);
    connect(&transfer_, &FirmwareTransfer::StateText, this, &UpgradeRun::StateText);
    connect(&transfer_, &FirmwareTransfer::LogFailure, this, &UpgradeRun::LogFailure);
    connect(&transfer_, &FirmwareTransfer::Finished, this, &UpgradeRun::OnTransferFinished);
}

void UpgradeRun::SetTarget() {
    target_ = TargetRecord(state_);
    target_in_monitor_ = state_.target_in_monitor;
    state_.upgrade_target_mac = FieldText(target_.mac_text);
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
    const unsigned run = ++run_;
    // The sockets may outlive this object; the continuation checks first.
    sender_.RejoinMulticastGroup([self = QPointer<UpgradeRun>(this), run,
                                  password = std::move(password), path = std::move(firmware_path)] {
        if (self && self->run_ == run)
            self->CheckAndTrigger(password, path);
    });
}

void UpgradeRun::CheckAndTrigger(const std::string& password, const std::string& firmware_path) {
    const unsigned run = run_;
    const auto refuse = [&](const Message& m) {
        notifier_.Show(m);
        if (run == run_)
            SetPhase(Phase::Idle);
    };
    if (const std::optional<Message> refusal = CheckUpgradeForm(password, firmware_path)) {
        refuse(*refusal);
        return;
    }
    firmware_path_ = firmware_path;
    const std::vector<uint8_t> trigger =
        BuildUpgradeTrigger(state_.settings, state_.set_sequence, target_, password);
    // Sent like a set request, but it is no poll: no poll accounting.
    if (!SendToTarget(sender_, state_.settings, target_in_monitor_, target_.ip, trigger)) {
        refuse(kTriggerSendError);
        return;
    }
    trigger_wait_.start();
}

void UpgradeRun::OnTriggerWaitEnded() {
    if (phase_ != Phase::Starting)
        return;
    // Read once, now: the dispatcher sets it while the wait runs, and a late
    // acknowledgement of an earlier Start counts too.
    if (state_.upgrade_trigger_acked != 1) {
        Q_EMIT StateText(Latin1(kStateTriggerFail));
        SetPhase(Phase::Idle);
        return;
    }
    const unsigned run = run_;
    SetPhase(Phase::Transferring);
    const bool opened =
        transfer_.OpenTftpSocket({target_.ip, firmware_path_, FieldMaskWord3(target_)});
    if (run != run_)
        return; // cancelled from inside a box
    // A failed open has said why in its box; the flag stays for the next Start.
    if (opened)
        state_.upgrade_trigger_acked = 0;
    else
        SetPhase(Phase::Idle);
    Q_EMIT StateText(Latin1(kStateWait));
}

void UpgradeRun::OnTransferFinished(TftpOutcome outcome) {
    SetPhase(Phase::Idle);
    if (outcome == TftpOutcome::Completed || outcome == TftpOutcome::DeviceError)
        Q_EMIT Ended(outcome);
}

void UpgradeRun::Cancel() {
    ++run_;
    trigger_wait_.stop();
    transfer_.Close();
    SetPhase(Phase::Idle);
}

} // namespace kestrel
