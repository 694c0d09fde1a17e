#pragma once
// The firmware transfer's progress as text, without the output: a bar redrawn
// in place for a terminal, or exactly one plain line for each tenth reached
// (10 % ... 100 %) for a log or a pipe. Counts are bytes the agent has
// acknowledged, of the file's size.

#include <cstdint>
#include <string>

namespace kestrel::cli {

class ProgressText {
public:
    // label: said before the plain lines (e.g. the agent's address); may be
    // empty.
    ProgressText(bool terminal, std::string label);

    // The agent has acknowledged this much of size: the text to write now
    // (empty when nothing changed on screen).
    std::string Update(uint32_t acknowledged, uint32_t size);
    // The last block was acknowledged: the bar at 100 % and its line ended,
    // or the tenths not said yet.
    std::string Complete(uint32_t size);
    // The transfer stops short: ends a bar's line.
    std::string Finish();

    // Percent of size, rounded down; an empty file is 0 % until complete.
    static int Percent(uint32_t acknowledged, uint32_t size);

private:
    std::string Bar(int percent, uint32_t acknowledged, uint32_t size);
    std::string Lines(int tenth, uint32_t acknowledged, uint32_t size);

    bool terminal_;
    std::string label_;
    int shown_ = -1; // terminal: percent drawn last; plain: last tenth said
    bool open_line_ = false;
};

} // namespace kestrel::cli
