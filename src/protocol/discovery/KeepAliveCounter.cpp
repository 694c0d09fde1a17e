#include "protocol/discovery/KeepAliveCounter.h"

namespace kestrel {

bool KeepAliveCounter::Tick(int flag, int period) {
    if (flag == 0)
        return false;
    if (period != period_seen_) {
        period_seen_ = period;
        seconds_ = 0;
    }
    // A period of 0 (or below) never comes due; not counting keeps the count
    // from overflowing however long the program runs.
    if (period <= 0)
        return false;
    if (++seconds_ < period)
        return false;
    seconds_ = 0;
    return true;
}

} // namespace kestrel
