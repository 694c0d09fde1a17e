#include "config/GroupIntervalInput.h"

#include "config/ConfigMessages.h"
#include "protocol/settings/SettingsFile.h"

#include <algorithm>

namespace kestrel {

GroupIntervalResult ReadGroupInterval(std::string_view text) {
    if (!std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; }))
        return {.choice = std::nullopt, .failure = kGroupIntervalDigits};

    // Leading zeros do not count; past five significant digits the value is
    // out of range whatever they are, so the sum cannot overflow.
    const std::string_view digits = text.substr(std::min(text.find_first_not_of('0'), text.size()));
    if (digits.size() > 5)
        return {.choice = std::nullopt, .failure = kKeepAliveRange};
    int value = 0;
    for (char c : digits)
        value = value * 10 + (c - '0');

    if (value == 0) {
        // An empty box means off; the file needs at least one digit.
        return {.choice = KeepAliveChoice{text.empty() ? "0" : std::string(text), '0', 0},
                .failure = std::nullopt};
    }
    if (value < kKeepAliveMinSeconds || value > kKeepAliveMaxSeconds)
        return {.choice = std::nullopt, .failure = kKeepAliveRange};
    return {.choice = KeepAliveChoice{std::string(text), '1', value}, .failure = std::nullopt};
}

bool ApplyKeepAliveChoice(const KeepAliveChoice& choice, const std::filesystem::path& define_ecf,
                          ProtocolSettings& settings, Notifier& notifier) {
    const bool saved = SaveMulticastTimer(define_ecf, choice.stored_text, choice.flag, notifier);
    // The running keep-alive reads these every second.
    settings.multicast_timer = choice.period;
    settings.multicast_timer_flag = choice.flag == '1' ? 1 : 0;
    return saved;
}

} // namespace kestrel
