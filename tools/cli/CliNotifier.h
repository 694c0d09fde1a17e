#pragma once
// The boxes of the shared code become lines: errors and warnings on
// standard error, information on standard output (or standard error while
// standard output carries data). Nothing is kept: commands learn outcomes
// from the core's typed results, never from what was said.

#include "protocol/seams/Notifier.h"

namespace kestrel::cli {

class CliNotifier : public Notifier {
public:
    void Show(const Message& message) override;
    // The command line is the operator's answer: a question goes ahead.
    bool Ask(const Message& question) override;

    void InformationToStderr(bool on) { info_to_stderr_ = on; }

private:
    bool info_to_stderr_ = false;
};

} // namespace kestrel::cli
