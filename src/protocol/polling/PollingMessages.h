#pragma once
// The boxes of polling and of the alive check.

#include "protocol/seams/Notifier.h"

namespace kestrel {

// Followed by the socket's error code: "polling error %d".
inline constexpr Message kPollingError{"polling error %d", kPlainCaption, MessageIcon::Warning};
inline constexpr Message kResendFail{"Resend fail", "Warnibg", MessageIcon::Warning};

} // namespace kestrel
