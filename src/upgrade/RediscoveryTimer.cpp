#include "RediscoveryTimer.h"

namespace kestrel {

RediscoveryTimer::RediscoveryTimer(const ProtocolSettings& settings, DeviceTable& discovery,
                                   DatagramSender& sender, ListHooks& lists, CoreEvents& events,
                                   QObject* parent)
    : QObject(parent), rediscovery_(settings, discovery, sender, lists), timer_(this) {
    connect(&events, &CoreEvents::discoveryReply, this,
            [this](const std::string& mac) { rediscovery_.NoteDiscoveryReply(mac); });
    timer_.setObjectName(QStringLiteral("rediscoveryTimer"));
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &RediscoveryTimer::Step);
}

void RediscoveryTimer::Start(const std::string& target_mac) {
    timer_.start(rediscovery_.Start(target_mac));
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
    Q_EMIT Finished(rediscovery_.outcome());
}

} // namespace kestrel
