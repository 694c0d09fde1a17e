#pragma once
// The boxes of the shared code become lines: errors and warnings on
// standard error, information on standard output (or standard error while
// standard output carries JSON). Every box is also kept, so a command can
// tell which outcome the window would have shown.

#include "protocol/seams/Notifier.h"

#include <string>
#include <vector>

namespace kestrel::cli {

struct ShownBox {
    std::string text;
    std::string caption;
    MessageIcon icon = MessageIcon::None;
    bool Is(const Message& m) const {
        return text == m.text && caption == m.caption && icon == m.icon;
    }
};

class CliNotifier : public Notifier {
public:
    void Show(const Message& message) override;
    // The command line is the operator's answer: a question goes ahead.
    bool Ask(const Message& question) override;

    void InformationToStderr(bool on) { info_to_stderr_ = on; }
    const std::vector<ShownBox>& shown() const { return shown_; }
    // Shown at position `from` or later.
    bool Saw(const Message& m, std::size_t from = 0) const;
    bool SawError(std::size_t from = 0) const;

private:
    std::vector<ShownBox> shown_;
    bool info_to_stderr_ = false;
};

} // namespace kestrel::cli
