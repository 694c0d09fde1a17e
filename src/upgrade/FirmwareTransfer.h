#pragma once
// Carries out the firmware write of TftpTransfer on the GUI thread: a UDP
// socket on port 64517, timer 1 (DATA) and timer 2 (write request) of
// 1500 ms, and the 5-second wait after the last ACK as a single-shot timer.
// Nothing sleeps; the window goes on receiving and painting meanwhile.
// Local failures (file, socket) are returned as their message; progress,
// failed sends and the end of the transfer are signalled as values.

#include "protocol/seams/Notifier.h"
#include "protocol/seams/Outcomes.h"
#include "protocol/upgrade/TftpTransfer.h"
#include "protocol/upgrade/UpgradeOutcome.h"

#include <optional>

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

    explicit FirmwareTransfer(QObject* parent = nullptr);
    ~FirmwareTransfer() override;

    // Reads the image once, binds the socket, starts timer 2 and sends the
    // write request. Nothing when it runs; else why not: the file cannot be
    // read or is too large, or the socket cannot be made or bound (also
    // while a transfer runs). A write request that could not be sent is
    // signalled and ends the attempt too (nothing runs behind it).
    struct OpenFailure {
        std::optional<Message> reason; // none: a failed send, signalled already
    };
    std::optional<OpenFailure> OpenTftpSocket(const TftpTransfer::Target& target);
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
    // A DATA block went out for the first time.
    void Progress(const kestrel::TransferProgress& progress);
    // A datagram could not be sent (its timer resends it).
    void SendFailed(const kestrel::SendFailure& failure);
    // The transfer has ended; Completed comes after the wait, and the caller
    // then finishes the upgrade (rediscovery).
    void Finished(const kestrel::UpgradeEnd& end);

private:
    // Carries out one step; false when its datagram could not be sent.
    bool Apply(const TftpStep& step);
    static void SetTimer(QTimer& timer, TimerAction action);
    void CloseSocket();

    TftpTransfer transfer_;
    QUdpSocket socket_;
    QTimer data_timer_;
    QTimer request_timer_;
    QTimer finish_timer_;
    QTimer drain_; // zero timer: the rest of a flood, after painting and timers
    // Counts opens and closes, so a step whose listener saw the transfer
    // closed or started afresh says no more about it.
    unsigned run_ = 0;
};

} // namespace kestrel
