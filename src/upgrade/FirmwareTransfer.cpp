#include "FirmwareTransfer.h"

#include "protocol/files/FileBytes.h"
#include "protocol/upgrade/FirmwareImageSize.h"
#include "protocol/upgrade/TftpPackets.h"
#include "protocol/upgrade/UpgradeMessages.h"

#include <QHostAddress>
#include <QNetworkDatagram>

#include <filesystem>

namespace kestrel {

FirmwareTransfer::FirmwareTransfer(QObject* parent)
    : QObject(parent), socket_(this), data_timer_(this), request_timer_(this), finish_timer_(this),
      drain_(this) {
    socket_.setObjectName(QStringLiteral("tftpSocket"));
    data_timer_.setObjectName(QStringLiteral("tftpDataTimer"));
    request_timer_.setObjectName(QStringLiteral("tftpRequestTimer"));
    finish_timer_.setObjectName(QStringLiteral("tftpFinishTimer"));
    for (QTimer* timer : {&data_timer_, &request_timer_}) {
        timer->setInterval(kTftpTimerMs);
        timer->setTimerType(Qt::PreciseTimer);
    }
    drain_.setSingleShot(true);
    drain_.setInterval(0);
    connect(&drain_, &QTimer::timeout, this, &FirmwareTransfer::OnTftpReadable);
    finish_timer_.setSingleShot(true);
    finish_timer_.setTimerType(Qt::PreciseTimer);
    connect(&socket_, &QUdpSocket::readyRead, this, &FirmwareTransfer::OnTftpReadable);
    connect(&data_timer_, &QTimer::timeout, this, &FirmwareTransfer::OnDataTimer);
    connect(&request_timer_, &QTimer::timeout, this, &FirmwareTransfer::OnRequestTimer);
    connect(&finish_timer_, &QTimer::timeout, this, &FirmwareTransfer::OnFinishWait);
}

FirmwareTransfer::~FirmwareTransfer() {
    Close();
}

std::optional<FirmwareTransfer::OpenFailure>
FirmwareTransfer::OpenTftpSocket(const TftpTransfer::Target& target) {
    ++run_;
    if (IsOpen())
        return OpenFailure{kBindTftpSocketError}; // what a second socket on the port would meet
    // Read once: the image cannot change under a running transfer.
    FileRead file =
        ReadFileBytes(std::filesystem::path(target.firmware_path), kMaxFirmwareImageBytes, false);
    if (file.status == ReadStatus::TooLarge)
        return OpenFailure{kFirmwareTooLarge};
    if (file.status != ReadStatus::Ok)
        return OpenFailure{kOpenFirmwareFileError};
    if (!socket_.bind(QHostAddress(QHostAddress::AnyIPv4), kTftpClientPort,
                      QAbstractSocket::DontShareAddress)) {
        const QAbstractSocket::SocketError error = socket_.error();
        socket_.abort();
        const bool not_created = error == QAbstractSocket::UnsupportedSocketOperationError ||
                                 error == QAbstractSocket::SocketResourceError;
        return OpenFailure{not_created ? kCreateTftpSocketError : kBindTftpSocketError};
    }
    const TftpStep step = transfer_.Start(target, std::move(file.bytes));
    if (step.refusal) {
        Close();
        return OpenFailure{step.refusal};
    }
    if (Apply(step) && step.outcome == TftpOutcome::None)
        return std::nullopt;
    // A start reported as failed leaves nothing running behind it: no
    // retransmissions, and the port free for the next attempt. Its failed
    // send has been signalled.
    Close();
    return OpenFailure{};
}

void FirmwareTransfer::Close() {
    ++run_;
    data_timer_.stop();
    request_timer_.stop();
    finish_timer_.stop();
    CloseSocket();
    transfer_.Cancel();
}

void FirmwareTransfer::CloseSocket() {
    socket_.abort();
    drain_.stop();
}

void FirmwareTransfer::OnTftpReadable() {
    drain_.stop();
    for (int n = 0; n < kMaxDatagramsPerWakeup; ++n) {
        // Always a read, never a look first: a socket signalled while its
        // datagram was already taken is signalled again only after a read,
        // even one that finds nothing, and would otherwise fall silent.
        if (!IsOpen())
            return;
        const QNetworkDatagram datagram =
            socket_.receiveDatagram(static_cast<qint64>(kTftpReadLimit));
        if (!datagram.isValid())
            return;
        const QByteArray data = datagram.data();
        // An address that is no IPv4 one reads as 0, which no target has.
        const uint32_t sender = datagram.senderAddress().toIPv4Address();
        Apply(transfer_.OnDatagram(std::span(reinterpret_cast<const uint8_t*>(data.constData()),
                                             static_cast<std::size_t>(data.size())),
                                   sender));
    }
    // Not every datagram was read: the rest on a later pass, from a zero
    // timer, so painting, input and the timers get their turn in a flood.
    if (IsOpen())
        drain_.start();
}

void FirmwareTransfer::OnDataTimer() {
    Apply(transfer_.OnDataTimer());
}

void FirmwareTransfer::OnRequestTimer() {
    Apply(transfer_.OnRequestTimer());
}

void FirmwareTransfer::OnFinishWait() {
    Apply(transfer_.FinishWaitEnded());
}

void FirmwareTransfer::SetTimer(QTimer& timer, TimerAction action) {
    if (action == TimerAction::Start)
        timer.start();
    else if (action == TimerAction::Stop)
        timer.stop();
}

namespace {

UpgradeEnd EndOf(const TftpStep& step, const TftpTransfer& transfer) {
    UpgradeEnd end;
    switch (step.outcome) {
    case TftpOutcome::Completed:
        end.kind = UpgradeEndKind::Completed;
        end.sent = end.total = transfer.file_size();
        break;
    case TftpOutcome::DeviceError:
        end.kind = UpgradeEndKind::DeviceError;
        end.device_error = step.device_error;
        end.reboot_hint = step.reboot_hint;
        break;
    case TftpOutcome::DeviceNotFound:
        end.kind = UpgradeEndKind::DeviceNotFound;
        break;
    case TftpOutcome::TransferFailed:
        end.kind = UpgradeEndKind::TransferFailed;
        end.sent = step.failed_at;
        end.total = step.file_size;
        break;
    case TftpOutcome::Refused:
        end.kind = UpgradeEndKind::LocalFailure;
        end.reason = step.refusal;
        break;
    case TftpOutcome::None:
        break;
    }
    return end;
}

} // namespace

bool FirmwareTransfer::Apply(const TftpStep& step) {
    SetTimer(data_timer_, step.data_timer);
    SetTimer(request_timer_, step.request_timer);
    bool sent = true;
    if (step.send) {
        const auto& d = *step.send;
        const auto size = static_cast<qint64>(d.bytes.size());
        sent = IsOpen() && socket_.writeDatagram(reinterpret_cast<const char*>(d.bytes.data()),
                                                 size, QHostAddress(d.address), d.port) == size;
    }
    if (step.close_socket)
        CloseSocket();
    if (step.finish_after_ms > 0)
        finish_timer_.start(step.finish_after_ms);
    // Everything above is settled before anyone hears of it: a listener's
    // box runs an event loop that may run the timers and the socket, or
    // close the transfer.
    const unsigned run = run_;
    if (!sent)
        Q_EMIT SendFailed({step.send->kind, 0});
    if (run != run_)
        return sent;
    if (step.progress)
        Q_EMIT Progress(*step.progress);
    if (run != run_)
        return sent;
    if (step.outcome != TftpOutcome::None && step.outcome != TftpOutcome::Refused)
        Q_EMIT Finished(EndOf(step, transfer_));
    return sent;
}

} // namespace kestrel
