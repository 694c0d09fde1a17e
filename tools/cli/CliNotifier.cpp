#include "CliNotifier.h"

#include <cstdio>

namespace kestrel::cli {

void CliNotifier::Show(const Message& message) {
    const bool problem = message.icon == MessageIcon::Error || message.icon == MessageIcon::Warning;
    said_.assign(message.text);
    if (quiet_ && !problem)
        return;
    const bool to_stderr = problem || info_to_stderr_;
    std::FILE* out = to_stderr ? stderr : stdout;
    // The words as the window shows them, one box per line.
    std::fprintf(out, "%.*s\n", static_cast<int>(message.text.size()), message.text.data());
    std::fflush(out);
}

void CliNotifier::Say(std::string_view text, MessageIcon icon) {
    Show(Message{text, kErrorCaption, icon});
}

bool CliNotifier::Ask(const Message&) {
    return true;
}

} // namespace kestrel::cli
