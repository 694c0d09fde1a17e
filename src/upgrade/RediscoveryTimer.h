#pragma once
// Drives a rediscovery run from a single-shot timer on the GUI thread, so the
// dispatcher stores replies between passes and nothing is shared across
// threads.

#include "core/CoreEvents.h"
#include "protocol/upgrade/Rediscovery.h"

#include <string>

#include <QObject>
#include <QTimer>

namespace kestrel {

class RediscoveryTimer : public QObject {
    Q_OBJECT
public:
    // Discovery replies come through events.
    RediscoveryTimer(const ProtocolSettings& settings, DeviceTable& discovery,
                     DatagramSender& sender, ListHooks& lists, CoreEvents& events,
                     QObject* parent = nullptr);

    // Starts a run for the agent with this MAC text; a run under way starts
    // over.
    void Start(const std::string& target_mac);
    bool running() const { return rediscovery_.running(); }
    Rediscovery::Outcome outcome() const { return rediscovery_.outcome(); }

    // The timer's work; public so that tests can step a run without waiting.
    void Step();

Q_SIGNALS:
    // The run has ended.
    void Finished(kestrel::Rediscovery::Outcome outcome);

private:
    Rediscovery rediscovery_;
    QTimer timer_;
};

} // namespace kestrel
