#pragma once
// The window's words for what the core reports: every typed outcome becomes
// the message box, caption and icon the window has always shown, here and
// nowhere else. Boxes that network events raise wait until the read handler
// has returned (the posted notifier); the others show at once, as the
// button or timer that caused them expects.

#include "core/CoreEvents.h"
#include "monitor/EventLog.h"
#include "protocol/seams/Notifier.h"
#include "protocol/upgrade/Rediscovery.h"
#include "protocol/upgrade/UpgradeOutcome.h"

#include <QObject>

namespace kestrel {

class UpgradeRun;
class RediscoveryTimer;

class OutcomeBoxes : public QObject {
    Q_OBJECT
public:
    // now: boxes shown at once; posted: boxes shown after the read handler.
    OutcomeBoxes(Notifier& now, Notifier& posted, QObject* parent = nullptr);

    void Listen(CoreEvents& events);
    // The upgrade's boxes and its event-log lines.
    void Listen(UpgradeRun& upgrade, EventLog& log);
    void Listen(RediscoveryTimer& rediscovery);

private:
    void ShowSendFailure(const SendFailure& failure);
    void ShowUpgradeEnd(const UpgradeEnd& end, UpgradeRun& upgrade, EventLog& log);

    Notifier& now_;
    Notifier& posted_;
};

} // namespace kestrel
