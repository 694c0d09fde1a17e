#pragma once
// The transfer's progress: a bar redrawn in place on a terminal, plain lines
// at every tenth otherwise (a log file or a pipe).

#include <cstdint>
#include <cstdio>

namespace kestrel::cli {

class Progress {
public:
    explicit Progress(std::FILE* out);

    void Update(uint32_t sent, uint32_t size);
    // Ends the bar's line.
    void Finish();

private:
    std::FILE* out_;
    bool terminal_;
    int last_ = -1; // percent, or tenth for plain lines, shown last
    bool drawn_ = false;
};

} // namespace kestrel::cli
