#pragma once
// What the service counts as the core reports it: per monitored agent (by
// its address text) whether it answers, when it last did and its traps; and
// the totals. Turned into metrics at each scrape, against the monitor table
// as it is then.

#include "MetricsText.h"
#include "protocol/lists/DeviceTables.h"

#include <chrono>
#include <map>
#include <string>
#include <string_view>

namespace kestrel::serve {

class ServiceTally {
public:
    using Clock = std::chrono::steady_clock;

    // A monitored agent answered; true when it had been declared not alive
    // while this service watched it (it is back).
    bool Answered(std::string_view ip, Clock::time_point at);
    // Declared not alive; true the first time since it last answered.
    bool Lost(std::string_view ip);
    void Trap(std::string_view ip) { ++agents_[std::string(ip)].traps; }
    // An agent taken off the monitor list: its counts go with it.
    void Forget(std::string_view ip) { agents_.erase(std::string(ip)); }

    void DiscoveryAnswer() { ++totals_.discovery_answers; }
    void Dropped(DropReason reason);
    void SendFailed(SendKind kind);

    // The metrics of the agents in use in the table, in its order, one per
    // address.
    ServiceMetrics Snapshot(const DeviceTable& monitor, Clock::time_point now) const;

private:
    struct Agent {
        bool answered = false; // since the service started watching it
        bool lost = false;
        Clock::time_point last_answer{};
        std::uint64_t traps = 0;
    };
    std::map<std::string, Agent, std::less<>> agents_;
    ServiceMetrics totals_;
};

} // namespace kestrel::serve
