#include "Progress.h"

#include <unistd.h>

namespace kestrel::cli {

Progress::Progress(std::FILE* out, std::string label, bool on)
    : out_(out), on_(on), text_(::isatty(::fileno(out)) == 1, std::move(label)) {}

void Progress::Write(const std::string& text) {
    if (!on_ || text.empty())
        return;
    std::fputs(text.c_str(), out_);
    std::fflush(out_);
}

void Progress::Update(uint32_t acknowledged, uint32_t size) {
    Write(text_.Update(acknowledged, size));
}

void Progress::Complete(uint32_t size) {
    Write(text_.Complete(size));
}

void Progress::Finish() {
    Write(text_.Finish());
}

} // namespace kestrel::cli
