#pragma once
// The boxes of the shared code become lines: errors and warnings on
// standard error, information on standard output (or standard error while
// standard output carries data). Nothing is kept: commands learn outcomes
// from the core's typed results, never from what was said. The texts are
// printed as they are: the program's words may hold line breaks, so a text
// that carries an agent's words is made safe (TerminalText) by whoever puts
// them in.

#include "protocol/seams/Notifier.h"

#include <string>
#include <string_view>

namespace kestrel::cli {

class CliNotifier : public Notifier {
public:
    void Show(const Message& message) override;
    // The command line is the operator's answer: a question goes ahead.
    bool Ask(const Message& question) override;

    void InformationToStderr(bool on) { info_to_stderr_ = on; }
    // --quiet: only errors and warnings are shown.
    void Quiet(bool on) { quiet_ = on; }

    // The command's own words, shown like a box's.
    void Say(std::string_view text, MessageIcon icon = MessageIcon::Error);

    // The last words shown since ForgetSaid().
    const std::string& said() const { return said_; }
    void ForgetSaid() { said_.clear(); }

private:
    bool info_to_stderr_ = false;
    bool quiet_ = false;
    std::string said_;
};

} // namespace kestrel::cli
