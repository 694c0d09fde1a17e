#pragma once
// One firmware upgrade, from Start to its end, on the GUI thread: renew the
// multicast membership, check the form, send the trigger, wait two seconds
// for the agent's acknowledgement (a timer; the program goes on receiving,
// which is how the acknowledgement arrives), then the TFTP write. The
// upgrade context lives here, once per program: the agent chosen when the
// dialog opened and the firmware path, kept for the next opening. What
// happens is signalled as values; the front ends say it.

#include "core/CoreEvents.h"
#include "protocol/set/DeviceSelection.h"
#include "protocol/set/SetExchange.h"
#include "protocol/upgrade/UpgradeOutcome.h"
#include "protocol/wire/DeviceRecord.h"
#include "upgrade/FirmwareTransfer.h"

#include <QObject>
#include <QTimer>

#include <optional>
#include <string>

namespace kestrel {

class UpgradeRun : public QObject {
    Q_OBJECT
public:
    static constexpr int kTriggerWaitMs = 2000;

    // The trigger carries the set exchange's sequence; its acknowledgement
    // comes as one of events' signals.
    UpgradeRun(const ProtocolSettings& settings, const SetExchange& exchange,
               DatagramSender& sender, CoreEvents& events, QObject* parent = nullptr);

    // The chosen agent becomes the upgrade target. Its record is kept as it
    // is now, so a list that changes meanwhile cannot redirect the upgrade.
    void SetTarget(const DeviceTables& tables, const ChosenAgent& chosen);
    const DeviceRecord& target() const { return target_; }

    const std::string& firmwarePath() const { return firmware_path_; }
    // Browse chose a file (or was cancelled: empty).
    void SetFirmwarePath(std::string path) { firmware_path_ = std::move(path); }

    // Start: nothing while a start or a transfer is under way.
    void Start(std::string password, std::string firmware_path);
    // Cancel, or the dialog goes: waits dropped, socket closed, byte count 0.
    void Cancel();

    // A start or a transfer is under way.
    bool busy() const { return phase_ != Phase::Idle; }
    FirmwareTransfer& transfer() { return transfer_; }

    // The timers' work; public so that tests can step without waiting.
    void OnTriggerWaitEnded();

Q_SIGNALS:
    void BusyChanged(bool busy);
    // The trigger was acknowledged and the write request is out.
    void TransferStarted();
    void Progress(const kestrel::TransferProgress& progress);
    // A datagram of the upgrade could not be sent; the trigger's ends the
    // start, a TFTP one is resent by its timer.
    void SendFailed(const kestrel::SendFailure& failure);
    // Every end of a start: a refused form, a trigger not acknowledged, a
    // local failure, the transfer's end (Completed after the wait that
    // follows the last ACK; the caller starts the rediscovery).
    void Ended(const kestrel::UpgradeEnd& end);

private:
    enum class Phase { Idle, Starting, Transferring };

    void SetPhase(Phase phase);
    // The rest of Start, once the membership has been renewed.
    void CheckAndTrigger(const std::string& password, const std::string& firmware_path);
    void End(const UpgradeEnd& end);
    void OnTransferFinished(const UpgradeEnd& end);
    bool FromTarget(const std::string& mac_text) const;

    const ProtocolSettings& settings_;
    const SetExchange& exchange_;
    DatagramSender& sender_;
    DeviceRecord target_{};
    bool target_in_monitor_ = false;
    std::string firmware_path_;
    Phase phase_ = Phase::Idle;
    // Set by the target's acknowledgement and read when the wait ends; a
    // late acknowledgement of an earlier Start counts too, and the flag
    // stays until a transfer has opened.
    bool trigger_acked_ = false;
    // The target answered the trigger with an error status during the wait.
    std::optional<int> trigger_status_;
    // Counts starts and cancels, so a re-join or a listener's box that
    // outlived its start says no more about it.
    unsigned run_ = 0;
    QTimer trigger_wait_;
    FirmwareTransfer transfer_;
};

} // namespace kestrel
