#pragma once
// Polling of the monitored agents and the alive check. Plain logic: a timer
// calls PollingPass::Run and waits the delay it returns, the window's
// 5-second timer calls AliveCheck::Tick.
//
// A failed send is reported, and the window shows a box for it, which runs a
// nested event loop in which timers and datagrams go on. So neither walk
// starts again from inside its own report, and each reports at most one
// failed send per walk: a pulled cable gives one box per pass and one per
// tick, not one per agent.

#include "protocol/lists/DeviceTables.h"
#include "protocol/seams/Outcomes.h"
#include "protocol/seams/Seams.h"
#include "protocol/settings/ProtocolSettings.h"

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
    PollingPass(const ProtocolSettings& settings, DeviceTable& monitor, DatagramSender& sender,
                ProtocolEvents& events);

    // Accounts and polls every monitored agent in table order, then returns
    // the wait before the next pass in ms, from the period in seconds as it
    // is when the pass ends (one chosen while its box was up counts). A
    // call while a pass is under way (from its box) does nothing and
    // returns -1.
    int Run(const int& period_seconds);
    bool running() const { return running_; }

private:
    const ProtocolSettings& settings_;
    DeviceTable& monitor_;
    DatagramSender& sender_;
    ProtocolEvents& events_;
    bool running_ = false;
};

class AliveCheck {
public:
    // Gets the address text of an agent declared not alive, for the log.
    using NotAliveLog = std::function<void(std::string_view ip_text)>;

    AliveCheck(const ProtocolSettings& settings, DeviceTable& monitor, DatagramSender& sender,
               ListHooks& lists, ProtocolEvents& events);

    // One tick: resends to agents that missed one or two polls (unless they
    // show the not-alive image), declares those that missed three or more,
    // again on every tick while they stay silent. A call from inside a
    // tick's own box does nothing.
    void Tick(const NotAliveLog& log);

private:
    const ProtocolSettings& settings_;
    DeviceTable& monitor_;
    DatagramSender& sender_;
    ListHooks& lists_;
    ProtocolEvents& events_;
    bool ticking_ = false;
};

} // namespace kestrel
