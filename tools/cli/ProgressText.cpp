#include "ProgressText.h"

#include <cstdio>

namespace kestrel::cli {

namespace {

constexpr int kBarWidth = 40;

std::string Counted(int percent, uint32_t acknowledged, uint32_t size) {
    char text[64];
    std::snprintf(text, sizeof text, "%3d%% %u/%u bytes", percent, acknowledged, size);
    return text;
}

} // namespace

ProgressText::ProgressText(bool terminal, std::string label)
    : terminal_(terminal), label_(std::move(label)) {
    if (!label_.empty())
        label_ += ": ";
    if (!terminal_)
        shown_ = 0;
}

int ProgressText::Percent(uint32_t acknowledged, uint32_t size) {
    if (size == 0)
        return 0;
    if (acknowledged >= size)
        return 100;
    return static_cast<int>(uint64_t{acknowledged} * 100 / size);
}

std::string ProgressText::Bar(int percent, uint32_t acknowledged, uint32_t size) {
    if (percent == shown_)
        return {};
    shown_ = percent;
    open_line_ = true;
    const auto filled = static_cast<std::size_t>(percent * kBarWidth / 100);
    return "\r" + label_ + "[" + std::string(filled, '#') +
           std::string(static_cast<std::size_t>(kBarWidth) - filled, '.') + "] " +
           Counted(percent, acknowledged, size);
}

std::string ProgressText::Lines(int tenth, uint32_t acknowledged, uint32_t size) {
    std::string text;
    // Each tenth gets its line, also when one acknowledgement passes several.
    for (int t = shown_ + 1; t <= tenth; ++t)
        text += label_ + "Upgrade..." + Counted(t * 10, acknowledged, size) + "\n";
    if (tenth > shown_)
        shown_ = tenth;
    return text;
}

std::string ProgressText::Update(uint32_t acknowledged, uint32_t size) {
    const int percent = Percent(acknowledged, size);
    if (terminal_)
        return Bar(percent, acknowledged, size);
    return Lines(percent / 10, acknowledged, size);
}

std::string ProgressText::Complete(uint32_t size) {
    if (!terminal_)
        return Lines(10, size, size);
    std::string text = Bar(100, size, size);
    return text + Finish();
}

std::string ProgressText::Finish() {
    if (!open_line_)
        return {};
    open_line_ = false;
    return "\n";
}

} // namespace kestrel::cli
