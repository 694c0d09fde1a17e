#pragma once
// Drives polling from a single-shot timer on the GUI thread: a pass, then
// the wait with the refresh period read at that moment, so a new period
// takes effect when the wait under way has ended. Also runs the alive check
// for the window's 5-second timer and writes its "Not alive" lines.

#include "monitor/EventLog.h"
#include "protocol/polling/Polling.h"

#include <QObject>
#include <QTimer>

#include <filesystem>

namespace kestrel {

class PollingTimer : public QObject {
    Q_OBJECT
public:
    struct Seams {
        ProgramState& state;
        DatagramSender& sender;
        ListHooks& lists;
        // The polling pass waits for its box: shown at once.
        Notifier& pass_boxes;
        // Resend and log failures: merged and shown after the tick.
        Notifier& tick_boxes;
        std::filesystem::path log;
        // The workstation's clock when null.
        const Clock* clock = nullptr;
    };

    explicit PollingTimer(const Seams& seams, QObject* parent = nullptr);

    // The first pass now, then one after each wait.
    void Start();
    // The timer's work; public so that tests can run passes without waiting.
    void Step();
    // One tick of the alive check, with one time stamp for all its lines.
    void CheckAlive();

    // The wait armed after the last pass in ms; -1 when none is under way.
    int armedMs() const { return timer_.isActive() ? timer_.interval() : -1; }
    bool passRunning() const { return pass_.running(); }

private:
    SystemClock system_clock_;
    const Clock& clock_;
    EventLog log_;
    PollingPass pass_;
    AliveCheck alive_;
    QTimer timer_;
};

} // namespace kestrel
