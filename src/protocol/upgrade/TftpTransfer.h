#pragma once
// The utility's end of the firmware write: a pure state machine fed with
// the device's datagrams and the ticks of two 1500 ms timers. Each event
// returns a step that says what to send, which timers to start or stop,
// what to show and log, and how the transfer ended. A driver with a socket
// and real timers carries the steps out; tests feed events directly.

#include "protocol/seams/Notifier.h"
#include "protocol/seams/Outcomes.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

inline constexpr uint16_t kTftpServerPort = 69;
inline constexpr uint16_t kTftpClientPort = 64517; // TFTP_CLIENT_PORT
inline constexpr int kTftpTimerMs = 1500;          // both timers
inline constexpr int kFinishWaitMs = 5000;         // after the last ACK
inline constexpr int kMaxWriteRequestRetries = 5;
inline constexpr int kMaxDataRetries = 10;
// Longer device error messages are cut to this many characters, the last
// three being "...".
inline constexpr std::size_t kMaxDeviceErrorText = 99;

enum class TimerAction { Keep, Start, Stop };

enum class TftpOutcome {
    None,           // the transfer goes on (or nothing happened)
    Refused,        // not started: the image does not fit 16-bit block numbers
    Completed,      // the last block was acknowledged and the wait is over
    DeviceNotFound, // the write request was never answered
    TransferFailed, // a DATA block was never acknowledged
    DeviceError,    // the device sent an ERROR packet
};

struct TftpDatagram {
    std::vector<uint8_t> bytes;
    uint32_t address = 0;                       // always the target device
    uint16_t port = 0;                          // always 69, also for DATA
    SendKind kind = SendKind::TftpWriteRequest; // what a failed send was
    bool operator==(const TftpDatagram&) const = default;
};

// How far the write has come, each time a DATA block goes out for the first
// time: bytes sent (each block once) and acknowledged, of the file's size.
struct TransferProgress {
    uint32_t sent = 0;
    uint32_t acknowledged = 0;
    uint32_t total = 0;
    uint16_t block = 0; // the block just sent
    bool last = false;  // it is the final, short block
    bool operator==(const TransferProgress&) const = default;
};

// What the driver does for one event, in this order: send, timers, close
// the socket, start the finishing wait, then report progress or the end.
struct TftpStep {
    std::optional<TftpDatagram> send;
    TimerAction data_timer = TimerAction::Keep;    // timer 1: DATA retransmission
    TimerAction request_timer = TimerAction::Keep; // timer 2: write-request retransmission
    bool close_socket = false;
    int finish_after_ms = 0; // > 0: call FinishWaitEnded once this has passed
    std::optional<TransferProgress> progress;
    TftpOutcome outcome = TftpOutcome::None;
    // Refused: why. DeviceError: the device's message, cut to
    // kMaxDeviceErrorText, and whether the reboot hint goes with it.
    // TransferFailed: the bytes sent of the file's size.
    std::optional<Message> refusal;
    std::string device_error;
    bool reboot_hint = false;
    uint32_t failed_at = 0;
    uint32_t file_size = 0;
};

// The ERROR packet's message as shown and logged: cut to
// kMaxDeviceErrorText characters when longer.
std::string DeviceErrorText(std::string_view message);

class TftpTransfer {
public:
    enum class State {
        Idle,       // socket closed
        Requesting, // write request out, waiting for ACK 0
        Sending,    // one DATA block outstanding
        Finishing,  // last block acknowledged, waiting before the finish
    };

    struct Target {
        uint32_t ip = 0;
        std::string firmware_path; // sent as the file name, as stored
        // The fourth word of the device's field_mask: with its three top
        // bits clear, a device error gets the reboot hint.
        uint32_t field_mask_word3 = 0;
    };

    // The socket is open: sends the write request and starts timer 2. An
    // image over kMaxFirmwareImageBytes is refused with nothing sent. Does
    // nothing unless Idle.
    TftpStep Start(Target target, std::vector<uint8_t> image);
    // One datagram read from the socket, with its sender's address. Only
    // the target speaks for the transfer (from any port: devices may answer
    // from another one); anything else is counted and dropped, so no other
    // host can acknowledge, fail or keep alive an upload.
    TftpStep OnDatagram(std::span<const uint8_t> datagram, uint32_t sender_ip);
    TftpStep OnDataTimer();
    TftpStep OnRequestTimer();
    // The wait after the last ACK is over: the transfer has completed.
    TftpStep FinishWaitEnded();
    // The dialog closes the socket (Cancel, or the window goes): back to Idle.
    void Cancel();

    State state() const { return state_; }
    uint32_t bytes_sent() const { return bytes_sent_; }
    uint32_t file_size() const { return file_size_; }
    uint16_t current_block() const { return current_block_; }
    std::optional<uint16_t> last_block() const { return last_block_; }
    int data_retries() const { return data_retries_; }
    int request_retries() const { return request_retries_; }
    // Datagrams from another address than the target's, since the start.
    uint64_t foreign_dropped() const { return foreign_dropped_; }

private:
    TftpStep OnAck(uint16_t block);
    TftpStep OnError(std::string_view message);
    void SendWriteRequest(TftpStep& step);
    void SendBlock(uint16_t acked, TftpStep& step);
    // ResetTransferState: the request retry count and tick flag stay.
    void ResetTransferState();

    State state_ = State::Idle;
    Target target_;
    std::vector<uint8_t> image_;

    uint16_t current_block_ = 0; // the DATA block sent last
    // The final, short block once it has been sent. Not a sentinel block
    // number: an ACK for block 65535 must not pass for the end of a
    // transfer whose final block is not out yet.
    std::optional<uint16_t> last_block_;
    int data_retries_ = 0;
    int request_retries_ = 0;
    bool data_ticked_ = false;
    // Set by the first timer-2 tick and cleared only by ACK 0, so after
    // "Device not found" the next attempt retransmits on its first tick.
    bool request_ticked_ = false;
    uint32_t file_size_ = 0;
    uint32_t bytes_sent_ = 0; // each block once
    uint64_t foreign_dropped_ = 0;
};

} // namespace kestrel
