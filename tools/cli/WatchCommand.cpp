// watch: the window's polling and alive check over the monitor list, and
// its traps; one line per change of an agent.

#include "AgentFormat.h"
#include "CliSession.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "TerminalText.h"
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
    ChangePrinter(bool json, const Clock& clock) : json_(json), clock_(clock) {}

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
        const std::string stamp = FormatTimeStamp(clock_);
        std::string line;
        if (json_) {
            QJsonObject o{{QStringLiteral("time"), Latin1(stamp)},
                          {QStringLiteral("ip"), Latin1(ip)},
                          {QStringLiteral("event"), QLatin1String(event)}};
            if (!mac.empty())
                o.insert(QStringLiteral("mac"), Latin1(mac));
            if (text)
                o.insert(QStringLiteral("text"), Latin1(*text));
            line = JsonLine(o);
        } else {
            line = stamp + " " + TerminalText(ip) + " " + event;
            if (text)
                line += ": " + TerminalText(*text);
        }
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }

    bool json_;
    const Clock& clock_;
    std::map<std::string, std::string> last_;
};

} // namespace

int RunWatch(const ParsedArgs& args) {
    int refresh = 15;
    if (const auto text = args.Value("refresh")) {
        const auto seconds = ParseSeconds(*text, 1);
        if (!seconds) {
            std::fprintf(stderr, "kestrel-cli: --refresh takes whole seconds, 1 or more\n");
            return kExitUsage;
        }
        refresh = *seconds;
    }
    const bool json = args.Has("json");
    CliNotifier notifier;
    notifier.InformationToStderr(true); // standard output carries the changes
    SystemClock clock;
    ChangePrinter printer(json, clock);
    CliSession session(notifier);
    DeviceTable& monitor = session.tables().monitor;

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
    return kExitOk;
}

} // namespace kestrel::cli
