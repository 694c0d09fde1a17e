#include "ReplyShaper.h"

#include "SimEngine.h"

#include <algorithm>

namespace kestrel::sim {

void ReplyShaper::Shape(const AgentSettings& s, std::size_t agent, Outgoing o, Millis now,
                        std::vector<Outgoing>& out) {
    const int copies = std::max(1, s.burst) * (s.dup ? 2 : 1);
    std::vector<Outgoing> group(static_cast<std::size_t>(copies), o);
    if (!s.reorder) {
        Deliver(std::move(group), s.delay_ms, now, out);
        return;
    }
    // Pairs swapped: the first answer waits for the second, then follows it.
    const auto first = waiting_.find(agent);
    if (first == waiting_.end()) {
        waiting_[agent] = Lone{now + kLoneAnswerMs, s.delay_ms, std::move(group)};
        return;
    }
    for (Outgoing& held : first->second.copies)
        group.push_back(std::move(held));
    waiting_.erase(first);
    Deliver(std::move(group), s.delay_ms, now, out);
}

void ReplyShaper::Deliver(std::vector<Outgoing> group, int delay_ms, Millis now,
                          std::vector<Outgoing>& out) {
    for (Outgoing& o : group) {
        if (delay_ms > 0)
            delayed_.emplace(now + delay_ms, std::move(o));
        else
            out.push_back(std::move(o));
    }
}

void ReplyShaper::Release(Millis now, std::vector<Outgoing>& out) {
    // Lone answers in agent order, so that a run is repeatable.
    std::vector<std::size_t> lone;
    for (const auto& [agent, held] : waiting_)
        if (held.due <= now)
            lone.push_back(agent);
    std::sort(lone.begin(), lone.end());
    for (std::size_t agent : lone) {
        Lone held = std::move(waiting_[agent]);
        waiting_.erase(agent);
        Deliver(std::move(held.copies), held.delay_ms, now, out);
    }
    while (!delayed_.empty() && delayed_.begin()->first <= now) {
        out.push_back(std::move(delayed_.begin()->second));
        delayed_.erase(delayed_.begin());
    }
}

std::optional<Millis> ReplyShaper::NextDue() const {
    std::optional<Millis> due;
    if (!delayed_.empty())
        due = delayed_.begin()->first;
    for (const auto& [agent, held] : waiting_)
        if (!due || held.due < *due)
            due = held.due;
    return due;
}

} // namespace kestrel::sim
