#pragma once
// What the Password change dialog's Set makes of its three boxes: the checks
// in their order (current, new, confirm), the first failure as its message,
// or the working record to send.

#include "protocol/seams/Notifier.h"
#include "protocol/wire/DeviceRecord.h"

#include <optional>
#include <string>

namespace kestrel {

inline constexpr std::size_t kPasswordMaxLength = 20;

struct PasswordChangeForm {
    std::string original; // 8-bit texts
    std::string new_password;
    std::string confirm;
};

struct PasswordChangeResult {
    std::optional<DeviceRecord> working; // set when every check passed
    std::optional<Message> failure;      // the first check that failed
};

// The working record is a copy of the agent's record with both passwords
// replaced.
PasswordChangeResult ReadPasswordChange(const PasswordChangeForm& form, const DeviceRecord& agent);

} // namespace kestrel
