#pragma once
// The transfer's progress on a stream (standard error): a bar redrawn in
// place on a terminal, one plain line per tenth otherwise (ProgressText).

#include "ProgressText.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace kestrel::cli {

class Progress {
public:
    // Nothing is written when off (--quiet).
    Progress(std::FILE* out, std::string label, bool on = true);

    void Update(uint32_t acknowledged, uint32_t size);
    void Complete(uint32_t size);
    // Ends the bar's line when the transfer stops short.
    void Finish();

private:
    void Write(const std::string& text);

    std::FILE* out_;
    bool on_;
    ProgressText text_;
};

} // namespace kestrel::cli
