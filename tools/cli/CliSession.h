#pragma once
// What every network command stands on: define.ecf of the cfg directory,
// the program-wide state, the window's own network session (sockets,
// dispatcher, keep-alive) with list hooks and boxes of the command line,
// and waits that keep the event loop running.

#include "CliLists.h"
#include "CliNotifier.h"
#include "StopSignals.h"
#include "core/NetworkSession.h"
#include "protocol/settings/ProgramState.h"

#include <filesystem>
#include <functional>
#include <memory>

namespace kestrel::cli {

// The cfg directory (KESTREL_CFG_DIR or cfg beside the program).
std::filesystem::path CfgDirectory();

class CliSession {
public:
    explicit CliSession(CliNotifier& notifier, TrapHandler* traps = nullptr);

    // define.ecf, then the three sockets as the window opens them. False after
    // the failure has been shown.
    bool Open();

    ProgramState& state() { return state_; }
    CliLists& lists() { return lists_; }
    NetworkSession& network() { return *network_; }
    CliNotifier& notifier() { return notifier_; }
    StopSignals& signals() { return signals_; }

    // Runs the event loop until done() holds (true), the time is up or a
    // stop signal came (false). A negative timeout waits without end.
    bool WaitUntil(const std::function<bool()>& done, int timeout_ms);
    // Runs the event loop until a stop signal comes.
    void RunUntilStopped();

private:
    CliNotifier& notifier_;
    TrapHandler* traps_;
    ProgramState state_;
    CliLists lists_;
    StopSignals signals_;
    std::unique_ptr<NetworkSession> network_;
};

} // namespace kestrel::cli
