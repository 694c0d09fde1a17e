#include "PollingTimer.h"

#include <string>

namespace kestrel {

PollingTimer::PollingTimer(const Seams& seams, QObject* parent)
    : QObject(parent), clock_(seams.clock != nullptr ? *seams.clock : system_clock_),
      log_(seams.log, clock_, seams.tick_boxes), pass_(seams.state, seams.sender, seams.pass_boxes),
      alive_(seams.state, seams.sender, seams.lists, seams.tick_boxes), timer_(this) {
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
    const int wait_ms = pass_.Run();
    if (wait_ms >= 0)
        timer_.start(wait_ms);
}

void PollingTimer::CheckAlive() {
    const std::string stamp = FormatTimeStamp(clock_);
    alive_.Tick([&](std::string_view ip) { log_.LogNotAlive(stamp, ip); });
}

} // namespace kestrel
