#pragma once
// When and how often a misbehaving agent's datagrams leave: copies (dup,
// burst), swapped pairs (reorder) and a delay. Holds what is not due yet
// and never waits itself; the loop asks for what has become due.

#include "Agent.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kestrel::sim {

struct Outgoing;

class ReplyShaper {
public:
    // A reorder agent's answer that no second answer followed leaves alone
    // after this long.
    static constexpr Millis kLoneAnswerMs = 1000;

    // One datagram of agent number `agent`, made at `now`: appends what
    // leaves now to `out` and holds the rest.
    void Shape(const AgentSettings& s, std::size_t agent, Outgoing o, Millis now,
               std::vector<Outgoing>& out);
    // Appends every held datagram that is due at `now`, oldest first.
    void Release(Millis now, std::vector<Outgoing>& out);
    // When the next held datagram is due; nothing when none is held.
    std::optional<Millis> NextDue() const;

private:
    void Deliver(std::vector<Outgoing> group, int delay_ms, Millis now, std::vector<Outgoing>& out);

    struct Lone {
        Millis due = 0;
        int delay_ms = 0;
        std::vector<Outgoing> copies;
    };
    std::unordered_map<std::size_t, Lone> waiting_; // by agent: first of a pair
    std::multimap<Millis, Outgoing> delayed_;       // by due time, then arrival
};

} // namespace kestrel::sim
