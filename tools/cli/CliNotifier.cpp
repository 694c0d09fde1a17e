#include "CliNotifier.h"

#include <cstdio>

namespace kestrel::cli {

void CliNotifier::Show(const Message& message) {
    const bool to_stderr = message.icon == MessageIcon::Error ||
                           message.icon == MessageIcon::Warning || info_to_stderr_;
    std::FILE* out = to_stderr ? stderr : stdout;
    // The words as the window shows them, one box per line.
    std::fprintf(out, "%.*s\n", static_cast<int>(message.text.size()), message.text.data());
    std::fflush(out);
}

bool CliNotifier::Ask(const Message&) {
    return true;
}

} // namespace kestrel::cli
