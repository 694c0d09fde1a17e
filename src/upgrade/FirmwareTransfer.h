#pragma once
// Carries out the firmware write of TftpTransfer on the GUI thread: a UDP
// socket on port 64517, timer 1 (DATA) and timer 2 (write request) of
// 1500 ms, and the 5-second wait after the last ACK as a single-shot timer.
// Nothing sleeps; the window goes on receiving and painting meanwhile.
// Boxes go through the Notifier; the Upgrade State text, the event-log
// line and the end of the transfer are signalled.

#include "protocol/seams/Notifier.h"
#include "protocol/upgrade/TftpTransfer.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUdpSocket>

namespace kestrel {

class FirmwareTransfer : public QObject {
    Q_OBJECT
public:
    // Datagrams read in one wake-up; the rest follow on a later pass of the
    // event loop, so a flood on the port cannot hold the window's thread.
    static constexpr int kMaxDatagramsPerWakeup = 64;

    explicit FirmwareTransfer(Notifier& notifier, QObject* parent = nullptr);
    ~FirmwareTransfer() override;

    // Reads the image once, binds the socket, starts timer 2 and sends the
    // write request. False after its box: the file cannot be read or is too
    // large, the socket cannot be made or bound (also while a transfer
    // runs), or the write request could not be sent (timer 2 then resends
    // it, as it would after a lost one).
    bool OpenTftpSocket(const TftpTransfer::Target& target);
    // Cancel, or the dialog goes: socket closed, timers stopped, byte count 0.
    void Close();

    bool IsOpen() const { return socket_.state() == QAbstractSocket::BoundState; }
    const TftpTransfer& transfer() const { return transfer_; }

    // The work of the socket and the timers; public so that tests can step
    // a transfer without waiting.
    void OnTftpReadable();
    void OnDataTimer();
    void OnRequestTimer();
    void OnFinishWait();

Q_SIGNALS:
    // The new text of Upgrade State.
    void StateText(const QString& text);
    // A failed transfer: the text of its event-log line (LogUpgradeFailure).
    void LogFailure(const QByteArray& text);
    // The transfer has ended; Completed comes after the wait, and the caller
    // then finishes the upgrade (rediscovery).
    void Finished(kestrel::TftpOutcome outcome);

private:
    // Carries out one step; false when its datagram could not be sent.
    bool Apply(const TftpStep& step);
    static void SetTimer(QTimer& timer, TimerAction action);
    void CloseSocket();

    Notifier& notifier_;
    TftpTransfer transfer_;
    QUdpSocket socket_;
    QTimer data_timer_;
    QTimer request_timer_;
    QTimer finish_timer_;
    QTimer drain_; // zero timer: the rest of a flood, after painting and timers
    // Counts opens and closes, so a step whose box saw the transfer closed
    // or started afresh says no more about it.
    unsigned run_ = 0;
};

} // namespace kestrel
