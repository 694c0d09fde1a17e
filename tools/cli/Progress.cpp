#include "Progress.h"

#include <string>
#include <unistd.h>

namespace kestrel::cli {

Progress::Progress(std::FILE* out) : out_(out), terminal_(::isatty(::fileno(out)) == 1) {}

void Progress::Update(uint32_t sent, uint32_t size) {
    if (size == 0)
        return;
    const int percent = static_cast<int>(uint64_t{sent} * 100 / size);
    if (terminal_) {
        if (percent == last_)
            return;
        constexpr int kWidth = 40;
        const int filled = percent * kWidth / 100;
        const std::string bar = std::string(static_cast<std::size_t>(filled), '#') +
                                std::string(static_cast<std::size_t>(kWidth - filled), '.');
        std::fprintf(out_, "\r[%s] %3d%% %u/%u bytes", bar.c_str(), percent, sent, size);
        drawn_ = true;
    } else {
        const int tenth = percent / 10;
        if (tenth == last_)
            return;
        std::fprintf(out_, "Upgrade...%u/%u bytes\n", sent, size);
        last_ = tenth;
    }
    if (terminal_)
        last_ = percent;
    std::fflush(out_);
}

void Progress::Finish() {
    if (drawn_)
        std::fputc('\n', out_);
    drawn_ = false;
    std::fflush(out_);
}

} // namespace kestrel::cli
