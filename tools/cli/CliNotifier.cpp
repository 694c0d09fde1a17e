#include "CliNotifier.h"

#include <cstdio>

namespace kestrel::cli {

void CliNotifier::Show(const Message& message) {
    shown_.push_back({std::string(message.text), std::string(message.caption), message.icon});
    const bool to_stderr = message.icon == MessageIcon::Error ||
                           message.icon == MessageIcon::Warning || info_to_stderr_;
    std::FILE* out = to_stderr ? stderr : stdout;
    // The words as the window shows them, one box per line.
    std::fprintf(out, "%.*s\n", static_cast<int>(message.text.size()), message.text.data());
    std::fflush(out);
}

bool CliNotifier::Ask(const Message& question) {
    shown_.push_back({std::string(question.text), std::string(question.caption), question.icon});
    return true;
}

bool CliNotifier::Saw(const Message& m, std::size_t from) const {
    for (std::size_t i = from; i < shown_.size(); ++i)
        if (shown_[i].Is(m))
            return true;
    return false;
}

bool CliNotifier::SawError(std::size_t from) const {
    for (std::size_t i = from; i < shown_.size(); ++i)
        if (shown_[i].icon == MessageIcon::Error)
            return true;
    return false;
}

} // namespace kestrel::cli
