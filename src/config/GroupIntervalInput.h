#pragma once
// What the Group Interval dialog's OK makes of the typed text: the first
// failing check as its message, or the keep-alive switch and period to store
// and apply. The period text is stored as typed ("0120" stays "0120").

#include "protocol/seams/Notifier.h"
#include "protocol/settings/ProtocolSettings.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

inline constexpr int kKeepAliveMinSeconds = 120;
inline constexpr int kKeepAliveMaxSeconds = 1225;

struct KeepAliveChoice {
    std::string stored_text; // what goes into define.ecf
    char flag = '0';         // '1' = on
    int period = 0;          // seconds; 0 when off
};

struct GroupIntervalResult {
    std::optional<KeepAliveChoice> choice; // set when the text passed
    std::optional<Message> failure;        // the first check that failed
};

GroupIntervalResult ReadGroupInterval(std::string_view text);

// Rewrites the keep-alive entries of define.ecf, then sets the switch and
// period in memory, also when the rewrite failed (the writer has said why).
// True when the file was rewritten.
bool ApplyKeepAliveChoice(const KeepAliveChoice& choice, const std::filesystem::path& define_ecf,
                          ProtocolSettings& settings, Notifier& notifier);

} // namespace kestrel
