#include "monitor/PollingTimer.h"

#include <string>

namespace kestrel {

PollingTimer::PollingTimer(const Seams& seams, QObject* parent)
    : QObject(parent), log_(seams.log),
      pass_(seams.settings, seams.monitor, seams.sender, seams.events),
      alive_(seams.settings, seams.monitor, seams.sender, seams.lists, seams.events), timer_(this) {
    timer_.setObjectName(QStringLiteral("pollingTimer"));
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &PollingTimer::Step);
}

void PollingTimer::Start() {
    Step();
}

void PollingTimer::Step() {
    // Called from the box of a pass under way, this must neither run a
    // second pass nor arm the timer: the pass arms it when it ends.
    if (pass_.running())
        return;
    timer_.stop();
    const int wait_ms = pass_.Run(period_seconds_);
    if (wait_ms >= 0)
        timer_.start(wait_ms);
}

void PollingTimer::CheckAlive() {
    const std::string stamp = log_.TimeStamp();
    alive_.Tick([&](std::string_view ip) { log_.LogNotAlive(stamp, ip); });
}

} // namespace kestrel
