#pragma once
// Drives a rediscovery run from a single-shot timer on the GUI thread, so the
// dispatcher stores replies between passes and nothing is shared across
// threads.

#include "protocol/upgrade/Rediscovery.h"

#include <QObject>
#include <QTimer>

namespace kestrel {

class RediscoveryTimer : public QObject {
    Q_OBJECT
public:
    RediscoveryTimer(ProgramState& state, DatagramSender& sender, ListHooks& lists,
                     Notifier& notifier, QObject* parent = nullptr);

    // Starts a run; a run under way starts over.
    void Start();
    bool running() const { return rediscovery_.running(); }
    Rediscovery::Outcome outcome() const { return rediscovery_.outcome(); }

    // The timer's work; public so that tests can step a run without waiting.
    void Step();

Q_SIGNALS:
    // The run has ended and its message has been shown.
    void Finished(kestrel::Rediscovery::Outcome outcome);

private:
    Rediscovery rediscovery_;
    QTimer timer_;
};

} // namespace kestrel
