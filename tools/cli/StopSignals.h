#pragma once
// SIGINT and SIGTERM end a command cleanly: the handler only writes a byte
// to a pipe, and the event loop reads it and asks the command to stop.

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace kestrel::cli {

class StopSignals : public QObject {
    Q_OBJECT
public:
    // The one for the whole run, installed by main() once the application
    // object exists, so an interrupt at any moment is caught.
    static StopSignals& Instance();

    StopSignals();
    ~StopSignals() override;

    bool stopped() const { return stopped_; }
    // The signal that stopped the command, 0 before.
    int signal() const { return signal_; }

    // Whether SIGINT or SIGTERM came while any StopSignals was installed,
    // even if no event loop has seen it yet: main() then exits 130.
    static bool Received();

Q_SIGNALS:
    void Stop();

private:
    void OnReadable();

    std::unique_ptr<QSocketNotifier> notifier_;
    bool stopped_ = false;
    int signal_ = 0;
};

} // namespace kestrel::cli
