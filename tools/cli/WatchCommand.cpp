// watch: the window's polling and alive check over the monitor list, and
// its traps; one line per change of an agent.

#include "AgentFormat.h"
#include "CliSession.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "Output.h"
#include "TerminalText.h"
#include "UserFiles.h"
#include "core/Latin1.h"
#include "monitor/EventLog.h"
#include "monitor/MonitorFile.h"
#include "monitor/PollingTimer.h"
#include "monitor/TrapReceiver.h"
#include "monitor/TrapTable.h"
#include "protocol/polling/Polling.h"

#include <QTimer>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace kestrel::cli {

namespace {

// Prints the changes: the state of each agent by its address, and every
// trap the window's trap receiver took.
class ChangePrinter {
public:
    ChangePrinter(const Output& out, const Clock& clock) : out_(out), clock_(clock) {}

    // What is known when it ends: each agent's last state.
    std::string Summary() const {
        std::size_t alive = 0;
        for (const auto& [ip, state] : last_)
            alive += state == "alive";
        return std::to_string(last_.size()) + " agents seen: " + std::to_string(alive) +
               " alive, " + std::to_string(last_.size() - alive) + " not alive";
    }

    void MonitorRowChanged(const DeviceRecord& r) {
        const char* state = r.row_state == kRowKnown      ? "alive"
                            : r.row_state == kRowNotAlive ? "not alive"
                                                          : nullptr;
        if (!state)
            return;
        const std::string ip(FieldText(r.ip_text));
        auto [it, added] = last_.try_emplace(ip, state);
        if (!added && it->second == state)
            return;
        it->second = state;
        Print(ip, FieldText(r.mac_text), state, std::nullopt);
    }

    // A trap from a monitored agent, with its whole text (the table keeps
    // 255 characters of it).
    void Trap(const TrapEvent& trap) { Print(trap.ip_text, {}, "trap", trap.text); }

private:
    void Print(std::string_view ip, std::string_view mac, const char* event,
               std::optional<std::string_view> text) {
        if (out_.json()) {
            QJsonObject o{{QStringLiteral("time"), IsoNow()},
                          {QStringLiteral("ip"), Latin1(ip)},
                          {QStringLiteral("event"), QLatin1String(event)}};
            if (!mac.empty())
                o.insert(QStringLiteral("mac"), Latin1(mac));
            if (text)
                o.insert(QStringLiteral("text"), Latin1(*text));
            out_.JsonObjectLine(o);
            return;
        }
        std::string line = FormatTimeStamp(clock_) + " " + TerminalText(ip) + " " + event;
        if (text)
            line += ": " + TerminalText(*text);
        out_.DataLine(line);
    }

    const Output& out_;
    const Clock& clock_;
    std::map<std::string, std::string> last_;
};

} // namespace

int RunWatch(const CommandArgs& args) {
    int refresh = 15;
    if (const auto text = args.Value("refresh")) {
        const auto seconds = ParseSeconds(*text, 1);
        if (!seconds) {
            std::fprintf(stderr, "kestrel-cli: --refresh takes whole seconds, 1 or more\n");
            return kExitUsage;
        }
        refresh = *seconds;
    }
    const Output out(args);
    CliNotifier notifier;
    notifier.InformationToStderr(true); // standard output carries the changes
    notifier.Quiet(out.quiet());
    SystemClock clock;
    ChangePrinter printer(out, clock);
    CliSession session(notifier);
    DeviceTable& monitor = session.tables().monitor;

    // A file the user names must be there; the default one may be missing
    // (an empty list, as in the window).
    if (args.Value("file") && !CheckReadableFile(*args.Value("file")))
        return kExitLocalFailure;
    const std::filesystem::path file = args.Value("file")
                                           ? std::filesystem::path(*args.Value("file"))
                                           : MonitorFilePath(CfgDirectory());
    if (!LoadMonitorAtStartUp(file, monitor, session.lists(), notifier))
        return kExitLocalFailure;

    const std::filesystem::path log =
        args.Has("no-log") ? std::filesystem::path() : EventLogPath(CfgDirectory());
    EventLog event_log(log, clock, notifier);
    TrapTable traps;
    TrapReceiver receiver(monitor, session.lists(), event_log, traps,
                          [&](const TrapEvent& trap) { printer.Trap(trap); });
    session.SetTraps(&receiver);
    if (!session.Open())
        return kExitLocalFailure;
    session.lists().on_monitor_row = [&](int i) {
        if (monitor.InUse(i))
            printer.MonitorRowChanged(monitor.records[static_cast<std::size_t>(i)]);
    };

    PollingTimer polling({.settings = session.settings(),
                          .monitor = monitor,
                          .sender = session.network().sockets(),
                          .lists = session.lists(),
                          .events = session.events(),
                          .log = event_log});
    polling.SetRefreshPeriod(refresh);
    QTimer alive_check;
    alive_check.setInterval(kAliveCheckIntervalMs);
    QObject::connect(&alive_check, &QTimer::timeout, [&] { polling.CheckAlive(); });
    session.network().StartKeepAlive();
    polling.Start();
    alive_check.start();

    session.RunUntilStopped();
    session.network().CloseSockets();
    out.Note("Stopped: " + printer.Summary());
    return kExitOk; // main() turns the stop into 130
}

} // namespace kestrel::cli
