#pragma once
// SIGTERM and SIGINT end the service, SIGHUP reloads its monitor list. The
// handler only writes the signal's number to a pipe; the event loop reads it.
// A pipe rather than a blocked mask and signalfd: the keep-alive's helper is
// a child process, and a blocked mask would be handed down to it.

#include <QObject>
#include <QSocketNotifier>

#include <csignal>

#include <memory>

namespace kestrel::serve {

class ServiceSignals : public QObject {
    Q_OBJECT
public:
    ServiceSignals();
    ~ServiceSignals() override;
    bool ok() const { return notifier_ != nullptr; }

Q_SIGNALS:
    void Stop(int signal);
    void Reload();

private:
    void OnReadable();

    int pipe_[2] = {-1, -1};
    struct sigaction before_[3]{}; // the handlers to put back
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace kestrel::serve
