#pragma once
// After a firmware transfer: wait for the device to reboot, then send a
// discovery request once a second until the upgraded device answers or the
// passes run out. A plain state machine; a timer on the GUI thread calls Tick
// after each returned delay, so replies are dispatched between passes.

#include "protocol/lists/DeviceTables.h"
#include "protocol/seams/Seams.h"
#include "protocol/settings/ProtocolSettings.h"

#include <string>
#include <string_view>

namespace kestrel {

inline constexpr int kRebootWaitMs = 12000;
inline constexpr int kPassIntervalMs = 1000;
inline constexpr int kMaxRediscoveryPasses = 110;

class Rediscovery {
public:
    enum class Outcome { None, Running, Succeeded, Failed, SendFailed, BroadcastRefused };

    Rediscovery(const ProtocolSettings& settings, DeviceTable& discovery, DatagramSender& sender,
                ListHooks& lists);

    // Begins a run for the agent with this MAC text (a run under way starts
    // over); returns the delay before the first Tick.
    int Start(std::string target_mac);
    // A discovery reply came in: the run's agent is back once it answers.
    void NoteDiscoveryReply(std::string_view mac_text);
    // Runs the step that is due; returns the delay before the next Tick, or -1
    // when the run has ended (also when no run is under way).
    int Tick();

    Outcome outcome() const { return outcome_; }
    bool running() const { return outcome_ == Outcome::Running; }
    int passes() const { return passes_; }

private:
    int SendPass();
    int End(Outcome outcome);

    const ProtocolSettings& settings_;
    DeviceTable& discovery_;
    DatagramSender& sender_;
    ListHooks& lists_;
    std::string target_mac_;
    bool answered_ = false; // the agent answered since the last pass went out
    Outcome outcome_ = Outcome::None;
    bool rebooting_ = false; // the first Tick ends the reboot wait
    int passes_ = 0;
};

} // namespace kestrel
