#pragma once
// Drives polling from a single-shot timer on the GUI thread: a pass, then
// the wait with the refresh period read at that moment, so a new period
// takes effect when the wait under way has ended. Also runs the alive check
// for the window's 5-second timer and writes its "Not alive" lines.

#include "monitor/EventLog.h"
#include "protocol/polling/Polling.h"

#include <QObject>
#include <QTimer>

namespace kestrel {

class PollingTimer : public QObject {
    Q_OBJECT
public:
    struct Seams {
        const ProtocolSettings& settings;
        DeviceTable& monitor;
        DatagramSender& sender;
        ListHooks& lists;
        // Failed sends and agents declared not alive.
        ProtocolEvents& events;
        // The program's one event log: the "Not alive" lines.
        EventLog& log;
    };

    explicit PollingTimer(const Seams& seams, QObject* parent = nullptr);

    // The first pass now, then one after each wait.
    void Start();
    // The timer's work; public so that tests can run passes without waiting.
    void Step();
    // One tick of the alive check, with one time stamp for all its lines.
    void CheckAlive();

    // The period between passes, in seconds; read when the next wait is armed.
    int refreshPeriod() const { return period_seconds_; }
    void SetRefreshPeriod(int seconds) { period_seconds_ = seconds; }

    // The wait armed after the last pass in ms; -1 when none is under way.
    int armedMs() const { return timer_.isActive() ? timer_.interval() : -1; }
    bool passRunning() const { return pass_.running(); }

private:
    EventLog& log_;
    PollingPass pass_;
    AliveCheck alive_;
    int period_seconds_ = 15;
    QTimer timer_;
};

} // namespace kestrel
