#include "protocol/upgrade/TftpTransfer.h"

#include "protocol/upgrade/FirmwareImageSize.h"
#include "protocol/upgrade/TftpPackets.h"

#include <algorithm>

namespace kestrel {

namespace {
constexpr uint32_t kNoRebootHintBits = 0x20000000; // any of the three top bits of word 3
constexpr std::string_view kCutMark = "...";
} // namespace

std::string DeviceErrorText(std::string_view message) {
    if (message.size() <= kMaxDeviceErrorText)
        return std::string(message);
    return std::string(message.substr(0, kMaxDeviceErrorText - kCutMark.size())) +
           std::string(kCutMark);
}

TftpStep TftpTransfer::Start(Target target, std::vector<uint8_t> image) {
    TftpStep step;
    if (state_ != State::Idle)
        return step;
    if (const auto refusal = CheckFirmwareImageSize(image.size())) {
        step.refusal = *refusal;
        step.close_socket = true;
        step.outcome = TftpOutcome::Refused;
        return step;
    }
    target_ = std::move(target);
    image_ = std::move(image);
    ResetTransferState();
    bytes_sent_ = 0;
    foreign_dropped_ = 0;
    state_ = State::Requesting;
    step.request_timer = TimerAction::Start;
    SendWriteRequest(step);
    return step;
}

TftpStep TftpTransfer::OnDatagram(std::span<const uint8_t> datagram, uint32_t sender_ip) {
    if (state_ != State::Requesting && state_ != State::Sending)
        return {};
    if (sender_ip != target_.ip) {
        ++foreign_dropped_;
        return {};
    }
    const auto packet = ParseTftpPacket(datagram);
    if (!packet)
        return {};
    if (packet->opcode == kTftpOpAck)
        return OnAck(packet->number);
    if (packet->opcode == kTftpOpError)
        return OnError(packet->text);
    return {};
}

TftpStep TftpTransfer::OnAck(uint16_t block) {
    TftpStep step;
    // Only the acknowledgement of what is in flight is progress: ACK 0 of
    // the write request, else the block sent last. A stale or future one
    // changes nothing, so a repeated old ACK cannot keep a dead transfer
    // alive by resetting its retries.
    if (block != current_block_)
        return step;
    data_retries_ = 0;
    if (block == 0) {
        step.request_timer = TimerAction::Stop;
        request_retries_ = 0;
        request_ticked_ = false;
    }
    if (last_block_ && block == *last_block_) {
        bytes_sent_ = 0;
        state_ = State::Finishing;
        // Nothing is resent or read while the device writes its flash.
        step.data_timer = TimerAction::Stop;
        step.request_timer = TimerAction::Stop;
        step.finish_after_ms = kFinishWaitMs;
        return step;
    }
    SendBlock(block, step);
    return step;
}

TftpStep TftpTransfer::OnError(std::string_view message) {
    TftpStep step;
    step.data_timer = TimerAction::Stop;
    step.request_timer = TimerAction::Stop;
    step.close_socket = true;
    step.device_error = DeviceErrorText(message);
    step.reboot_hint = target_.field_mask_word3 < kNoRebootHintBits;
    step.outcome = TftpOutcome::DeviceError;
    ResetTransferState();
    bytes_sent_ = 0;
    state_ = State::Idle;
    return step;
}

TftpStep TftpTransfer::OnDataTimer() {
    TftpStep step;
    if (state_ != State::Sending)
        return step;
    if (!data_ticked_) {
        data_ticked_ = true;
        return step;
    }
    if (data_retries_ >= kMaxDataRetries) {
        step.data_timer = TimerAction::Stop;
        step.close_socket = true;
        step.failed_at = bytes_sent_;
        step.file_size = file_size_;
        step.outcome = TftpOutcome::TransferFailed;
        bytes_sent_ = 0;
        last_block_.reset();
        data_retries_ = 0;
        current_block_ = 0;
        state_ = State::Idle;
        return step;
    }
    ++data_retries_;
    SendBlock(static_cast<uint16_t>(current_block_ - 1), step);
    return step;
}

TftpStep TftpTransfer::OnRequestTimer() {
    TftpStep step;
    if (state_ != State::Requesting)
        return step;
    if (!request_ticked_) {
        request_ticked_ = true;
        return step;
    }
    SendWriteRequest(step);
    if (++request_retries_ >= kMaxWriteRequestRetries) {
        step.request_timer = TimerAction::Stop;
        step.close_socket = true;
        step.outcome = TftpOutcome::DeviceNotFound;
        request_retries_ = 0;
        state_ = State::Idle;
    }
    return step;
}

TftpStep TftpTransfer::FinishWaitEnded() {
    TftpStep step;
    if (state_ != State::Finishing)
        return step;
    current_block_ = 0;
    last_block_.reset();
    state_ = State::Idle;
    step.close_socket = true;
    step.outcome = TftpOutcome::Completed;
    return step;
}

void TftpTransfer::Cancel() {
    state_ = State::Idle;
    bytes_sent_ = 0;
}

void TftpTransfer::SendWriteRequest(TftpStep& step) {
    data_ticked_ = false;
    step.send = TftpDatagram{BuildWriteRequest(target_.firmware_path), target_.ip, kTftpServerPort,
                             SendKind::TftpWriteRequest};
}

void TftpTransfer::SendBlock(uint16_t acked, TftpStep& step) {
    file_size_ = static_cast<uint32_t>(image_.size());
    if (acked == 0)
        step.data_timer = TimerAction::Start;
    const std::size_t offset = std::min(std::size_t{acked} * kTftpBlockSize, image_.size());
    const std::size_t count = std::min(kTftpBlockSize, image_.size() - offset);
    // A retransmission is not counted again.
    if (data_retries_ == 0)
        bytes_sent_ += static_cast<uint32_t>(count);
    current_block_ = static_cast<uint16_t>(acked + 1);
    step.send =
        TftpDatagram{BuildDataPacket(current_block_, std::span(image_).subspan(offset, count)),
                     target_.ip, kTftpServerPort, SendKind::TftpData};
    data_ticked_ = false;
    state_ = State::Sending;
    if (count < kTftpBlockSize)
        last_block_ = current_block_;
    if (data_retries_ == 0)
        step.progress = TransferProgress{
            .sent = bytes_sent_,
            .acknowledged = static_cast<uint32_t>(offset),
            .total = file_size_,
            .block = current_block_,
            .last = count < kTftpBlockSize,
        };
}

void TftpTransfer::ResetTransferState() {
    data_ticked_ = false;
    current_block_ = 0;
    last_block_.reset();
    file_size_ = 0;
    data_retries_ = 0;
}

} // namespace kestrel
