#pragma once
// One firmware upgrade, from Start to its end, on the GUI thread: renew the
// multicast membership, check the form, send the trigger, wait two seconds
// for the agent's acknowledgement (a timer; the window goes on receiving,
// which is how the acknowledgement arrives), then the TFTP write. The
// upgrade context lives here, once per program: the agent chosen when the
// dialog opened and the firmware path, kept for the next opening.

#include "FirmwareTransfer.h"
#include "protocol/seams/Notifier.h"
#include "protocol/seams/Seams.h"
#include "protocol/settings/ProgramState.h"
#include "protocol/wire/DeviceRecord.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <string>

namespace kestrel {

class UpgradeRun : public QObject {
    Q_OBJECT
public:
    static constexpr int kTriggerWaitMs = 2000;

    UpgradeRun(ProgramState& state, DatagramSender& sender, Notifier& notifier,
               QObject* parent = nullptr);

    // The agent of the selection context becomes the upgrade target. Its
    // record is kept as it is now, so a set dialog opened meanwhile (which
    // moves the selection context) cannot redirect the upgrade.
    void SetTarget();
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
    void StateText(const QString& text);
    void BusyChanged(bool busy);
    // A failed transfer: the text of its event-log line.
    void LogFailure(const QByteArray& text);
    // The dialog ends: Completed after the wait that follows the last ACK
    // (the caller starts the rediscovery), DeviceError once its box closed.
    void Ended(kestrel::TftpOutcome outcome);

private:
    enum class Phase { Idle, Starting, Transferring };

    void SetPhase(Phase phase);
    // The rest of Start, once the membership has been renewed.
    void CheckAndTrigger(const std::string& password, const std::string& firmware_path);
    void OnTransferFinished(TftpOutcome outcome);

    ProgramState& state_;
    DatagramSender& sender_;
    Notifier& notifier_;
    DeviceRecord target_{};
    bool target_in_monitor_ = false;
    std::string firmware_path_;
    Phase phase_ = Phase::Idle;
    // Counts starts and cancels, so a re-join or a box that outlived its
    // start says no more about it.
    unsigned run_ = 0;
    QTimer trigger_wait_;
    FirmwareTransfer transfer_;
};

} // namespace kestrel
