#pragma once
// Polling of the monitored agents and the alive check. Plain logic: a timer
// calls PollingPass::Run and waits the delay it returns, the window's
// 5-second timer calls AliveCheck::Tick.
//
// A failed send shows a box, and a box runs a nested event loop in which
// timers and datagrams go on. So neither walk starts again from inside its
// own box, and each shows at most one send-failure box per walk: a pulled
// cable gives one box per pass and one per tick, not one per agent.

#include "protocol/seams/Notifier.h"
#include "protocol/seams/Seams.h"
#include "protocol/settings/ProgramState.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kestrel {

inline constexpr int kAliveCheckIntervalMs = 5000;
// Missed polls at which an agent is declared not alive.
inline constexpr int kNotAliveThreshold = 3;

// The 40 bytes every monitored agent is polled with.
std::array<uint8_t, 40> PollRequest(const ProtocolSettings& settings);

// "polling error %d" with the socket's error code.
std::string PollingErrorText(int error_code);

class PollingPass {
public:
    PollingPass(ProgramState& state, DatagramSender& sender, Notifier& notifier);

    // Accounts and polls every monitored agent in table order, then returns
    // the wait before the next pass in ms, from the period as it is now. A
    // call while a pass is under way (from its box) does nothing and
    // returns -1.
    int Run();
    bool running() const { return running_; }

private:
    ProgramState& state_;
    DatagramSender& sender_;
    Notifier& notifier_;
    bool running_ = false;
};

class AliveCheck {
public:
    // Gets the address text of an agent declared not alive, for the log.
    using NotAliveLog = std::function<void(std::string_view ip_text)>;

    AliveCheck(ProgramState& state, DatagramSender& sender, ListHooks& lists, Notifier& notifier);

    // One tick: resends to agents that missed one or two polls (unless they
    // show the not-alive image), declares those that missed three or more,
    // again on every tick while they stay silent. A call from inside a
    // tick's own box does nothing.
    void Tick(const NotAliveLog& log);

private:
    ProgramState& state_;
    DatagramSender& sender_;
    ListHooks& lists_;
    Notifier& notifier_;
    bool ticking_ = false;
};

} // namespace kestrel
