#include "ServiceSignals.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <unistd.h>

namespace kestrel::serve {

namespace {

int g_write_end = -1;

extern "C" void OnServiceSignal(int number) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(number);
    // A full pipe already holds a signal to act on.
    [[maybe_unused]] const ssize_t n = ::write(g_write_end, &byte, 1);
    errno = saved;
}

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

} // namespace

ServiceSignals::ServiceSignals() {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    g_write_end = pipe_[1];
    notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &ServiceSignals::OnReadable);
    struct sigaction action {};
    action.sa_handler = OnServiceSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        sigaction(kSignals[i], &action, &before_[i]);
}

ServiceSignals::~ServiceSignals() {
    if (notifier_)
        for (std::size_t i = 0; i < std::size(kSignals); ++i)
            sigaction(kSignals[i], &before_[i], nullptr);
    g_write_end = -1;
    notifier_.reset();
    for (const int fd : pipe_)
        if (fd >= 0)
            ::close(fd);
}

void ServiceSignals::OnReadable() {
    unsigned char byte = 0;
    int stop = 0;
    bool reload = false;
    while (::read(pipe_[0], &byte, 1) == 1) {
        if (byte == SIGHUP)
            reload = true;
        else
            stop = byte;
    }
    if (stop)
        Q_EMIT Stop(stop);
    else if (reload)
        Q_EMIT Reload();
}

} // namespace kestrel::serve
