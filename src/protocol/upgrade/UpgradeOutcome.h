#pragma once
// How a firmware upgrade ended, as a value: the window, kestrel-cli and the
// service each say it in their own words.

#include "protocol/seams/Notifier.h"

#include <cstdint>
#include <optional>
#include <string>

namespace kestrel {

enum class UpgradeEndKind {
    Completed,          // the last block was acknowledged and the wait is over
    DeviceError,        // the device sent an ERROR packet
    DeviceNotFound,     // the write request was never answered
    TransferFailed,     // a DATA block was never acknowledged
    TriggerNotAnswered, // no acknowledgement of the trigger within the wait
    TriggerRefused,     // the agent answered the trigger with an error status
    Refused,            // a check before the trigger refused the form
    LocalFailure,       // the trigger could not be sent, or the file or socket failed
};

struct UpgradeEnd {
    UpgradeEndKind kind = UpgradeEndKind::Completed;
    std::string device_error;      // DeviceError: its message, cut to length
    bool reboot_hint = false;      // DeviceError: the device reboots by itself
    uint32_t sent = 0;             // TransferFailed, Completed: bytes sent
    uint32_t total = 0;            // of the file's size
    int status = 0;                // TriggerRefused: the agent's status
    std::optional<Message> reason; // Refused, LocalFailure: what to say, if anything
    bool triggered = false;        // LocalFailure: after the trigger was acknowledged
    bool operator==(const UpgradeEnd&) const = default;
};

} // namespace kestrel
