#pragma once
// The boxes of the shared code become lines: errors and warnings on
// standard error, information on standard output (or standard error while
// standard output carries data). Nothing is kept: commands learn outcomes
// from the core's typed results, never from what was said. The texts are
// printed as they are: the program's words may hold line breaks, so a text
// that carries an agent's words is made safe (TerminalText) by whoever puts
// them in.

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
