#pragma once
// The seconds count of the multicast keep-alive. Tick is called once a second
// with the switch and period as they are now; it says when a membership
// report is due. While the switch is off the count stands still, so turning
// it back on with the same period resumes where it stood; a new period starts
// the count afresh.

namespace kestrel {

class KeepAliveCounter {
public:
    // flag: 0 = off, anything else = on. period: seconds between reports.
    bool Tick(int flag, int period);

    int seconds() const { return seconds_; }

private:
    int seconds_ = 0;
    int period_seen_ = 0;
};

} // namespace kestrel
