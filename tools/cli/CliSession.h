#pragma once
// What every network command stands on: the cfg folder, read once, and
// define.ecf from it; the state a front end owns (settings, set exchange,
// the two tables, the core's events); the window's own network session
// (sockets, dispatcher, keep-alive) with list hooks of the command line;
// and waits that run the event loop until an outcome arrives.

#include "CliLists.h"
#include "CliNotifier.h"
#include "StopSignals.h"
#include "core/CoreEvents.h"
#include "core/InstanceGuard.h"
#include "core/NetworkSession.h"
#include "protocol/lists/DeviceTables.h"
#include "protocol/set/SetExchange.h"
#include "protocol/settings/ProtocolSettings.h"

#include <QEventLoop>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace kestrel::cli {

// The cfg folder (KESTREL_CFG_DIR, cfg beside the program, or the per-user
// folder, made ready as the window makes it), found once.
const std::filesystem::path& CfgDirectory();
// Where the cfg folder came from and its path, for messages.
std::string CfgFolderText();

class CliSession {
public:
    explicit CliSession(CliNotifier& notifier, TrapHandler* traps = nullptr);

    // Where traps go; before Open.
    void SetTraps(TrapHandler* traps) { traps_ = traps; }

    // define.ecf, the one-instance guard, then the three sockets as the
    // window opens them. False after the failure has been shown (the ports
    // held by another program included).
    bool Open();

    ProtocolSettings& settings() { return settings_; }
    DeviceTables& tables() { return tables_; }
    SetExchange& exchange() { return exchange_; }
    CoreEvents& events() { return events_; }
    SetLink setLink() { return {settings_, exchange_, tables_, network_->sockets()}; }
    CliLists& lists() { return lists_; }
    NetworkSession& network() { return *network_; }
    CliNotifier& notifier() { return notifier_; }
    StopSignals& signals() { return signals_; }

    // Runs the event loop until done() holds (true), the time is up or a
    // stop signal came (false). done() is asked again whenever the core
    // reports something and whenever Wake() is called, never on a clock. A
    // negative timeout waits without end.
    bool WaitUntil(const std::function<bool()>& done, int timeout_ms);
    // An outcome a wait may be waiting for has arrived.
    void Wake();
    // Sends a discovery and gathers answers for timeout_ms after the request
    // left (the group re-join comes first). False when it could not be sent.
    bool Discover(int timeout_ms);
    // Runs the event loop until a stop signal comes.
    void RunUntilStopped();

private:
    CliNotifier& notifier_;
    TrapHandler* traps_;
    ProtocolSettings settings_;
    SetExchange exchange_;
    DeviceTables tables_;
    CoreEvents events_;
    CliLists lists_;
    StopSignals& signals_ = StopSignals::Instance();
    std::unique_ptr<InstanceGuard> guard_; // before the sockets, kept while they are open
    std::unique_ptr<NetworkSession> network_;
    QEventLoop* loop_ = nullptr;
    std::function<bool()> done_;
};

} // namespace kestrel::cli
