#include "StopSignals.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace kestrel::cli {

namespace {

int g_pipe[2] = {-1, -1};
volatile std::sig_atomic_t g_received = 0;

extern "C" void OnStopSignal(int number) {
    g_received = 1;
    const unsigned char byte = static_cast<unsigned char>(number);
    // Nothing else is safe here; a full pipe already holds a stop.
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
}

} // namespace

StopSignals::StopSignals() {
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier_ = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &StopSignals::OnReadable);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

StopSignals::~StopSignals() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

StopSignals& StopSignals::Instance() {
    // Kept to the end: the handlers stay as long as the process runs.
    static StopSignals* const instance = new StopSignals;
    return *instance;
}

bool StopSignals::Received() {
    return g_received != 0;
}

void StopSignals::OnReadable() {
    unsigned char byte = 0;
    while (::read(g_pipe[0], &byte, 1) == 1) {
        stopped_ = true;
        signal_ = byte;
    }
    if (stopped_)
        Q_EMIT Stop();
}

} // namespace kestrel::cli
