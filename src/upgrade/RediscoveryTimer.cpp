#include "RediscoveryTimer.h"

namespace kestrel {

RediscoveryTimer::RediscoveryTimer(ProgramState& state, DatagramSender& sender, ListHooks& lists,
                                   Notifier& notifier, QObject* parent)
    : QObject(parent), rediscovery_(state, sender, lists, notifier), timer_(this) {
    timer_.setObjectName(QStringLiteral("rediscoveryTimer"));
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &RediscoveryTimer::Step);
}

void RediscoveryTimer::Start() {
    timer_.start(rediscovery_.Start());
}

void RediscoveryTimer::Step() {
    if (!rediscovery_.running())
        return;
    timer_.stop();
    const int next = rediscovery_.Tick();
    if (next >= 0) {
        timer_.start(next);
        return;
    }
    // The closing message box may have run a nested event loop in which a new
    // run was started; that run owns the timer now.
    if (!rediscovery_.running())
        Q_EMIT Finished(rediscovery_.outcome());
}

} // namespace kestrel
