#include "config/ui/RejoinGate.h"

#include <QDialog>
#include <QPushButton>

namespace kestrel {

void RejoinGate::Start(std::function<void()> next) {
    if (running_)
        return;
    running_ = true;
    button_.setEnabled(false);
    // The gate lives inside its dialog: while the dialog exists, so does it.
    sender_.RejoinMulticastGroup([dialog = dialog_, this, next = std::move(next)] {
        if (!dialog)
            return;
        running_ = false;
        button_.setEnabled(true);
        if (dialog->isVisible())
            next();
    });
}

} // namespace kestrel
