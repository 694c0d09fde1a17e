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
    StopSignals();
    ~StopSignals() override;

    bool stopped() const { return stopped_; }
    // The signal that stopped the command, 0 before.
    int signal() const { return signal_; }

Q_SIGNALS:
    void Stop();

private:
    void OnReadable();

    std::unique_ptr<QSocketNotifier> notifier_;
    bool stopped_ = false;
    int signal_ = 0;
};

} // namespace kestrel::cli
