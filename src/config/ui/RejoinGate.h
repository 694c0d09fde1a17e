#pragma once
// A set dialog renews the multicast membership before it acts. The re-join
// runs on timers while the window goes on; meanwhile the dialog's action
// button is disabled and a second press does nothing. The work after it runs
// only if the dialog is still there and open: a Cancel during the re-join
// sends nothing.

#include "protocol/seams/Seams.h"

#include <QPointer>

#include <functional>

class QDialog;
class QPushButton;

namespace kestrel {

class RejoinGate {
public:
    RejoinGate(QDialog& dialog, QPushButton& button, DatagramSender& sender)
        : dialog_(&dialog), button_(button), sender_(sender) {}
    RejoinGate(const RejoinGate&) = delete;
    RejoinGate& operator=(const RejoinGate&) = delete;

    // Starts the re-join and then runs next; nothing while one is under way.
    void Start(std::function<void()> next);
    bool running() const { return running_; }

private:
    QPointer<QDialog> dialog_;
    QPushButton& button_;
    DatagramSender& sender_;
    bool running_ = false;
};

} // namespace kestrel
