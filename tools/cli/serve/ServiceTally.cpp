#include "ServiceTally.h"

#include "protocol/lists/RowTexts.h"

#include <set>

namespace kestrel::serve {

bool ServiceTally::Answered(std::string_view ip, Clock::time_point at) {
    Agent& a = agents_[std::string(ip)];
    const bool back = a.lost;
    a.answered = true;
    a.lost = false;
    a.last_answer = at;
    return back;
}

bool ServiceTally::Lost(std::string_view ip) {
    Agent& a = agents_[std::string(ip)];
    const bool first = !a.lost;
    a.lost = true;
    return first;
}

void ServiceTally::Dropped(DropReason reason) {
    const auto i = static_cast<std::size_t>(reason);
    if (i < totals_.dropped.size())
        ++totals_.dropped[i];
}

void ServiceTally::SendFailed(SendKind kind) {
    const auto i = static_cast<std::size_t>(kind);
    if (i < totals_.send_errors.size())
        ++totals_.send_errors[i];
}

ServiceMetrics ServiceTally::Snapshot(const DeviceTable& monitor, Clock::time_point now) const {
    ServiceMetrics m = totals_;
    m.agents.reserve(static_cast<std::size_t>(monitor.count()));
    std::set<std::string_view, std::less<>> seen;
    for (const DeviceRecord& r : monitor.InUse()) {
        // Two records may come to claim one address; one series per address.
        if (!seen.insert(FieldText(r.ip_text)).second)
            continue;
        AgentMetrics a{.ip = std::string(FieldText(r.ip_text)),
                       .mac = std::string(FieldText(r.mac_text)),
                       .system_name = std::string(FieldText(r.system_name)),
                       .product = std::string(FieldText(r.product_name)),
                       .up = false,
                       .polls_missed = r.missed_polls,
                       .seconds_since_answer = std::nullopt,
                       .traps = 0,
                       .version = VersionText(r),
                       .interface_version = r.interface_version};
        if (const auto it = agents_.find(a.ip); it != agents_.end()) {
            const Agent& t = it->second;
            a.up = t.answered && !t.lost;
            a.traps = t.traps;
            if (t.answered)
                a.seconds_since_answer = std::chrono::duration<double>(now - t.last_answer).count();
        }
        m.agents.push_back(std::move(a));
    }
    return m;
}

} // namespace kestrel::serve
