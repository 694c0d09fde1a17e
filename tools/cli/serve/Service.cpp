#include "Service.h"

#include "JournalEvent.h"
#include "MonitorReload.h"
#include "ProcessStats.h"
#include "ServiceFolders.h"
#include "ServiceSignals.h"
#include "ServiceTally.h"
#include "SystemdNotify.h"
#include "core/CfgFirstStart.h"
#include "core/CoreEvents.h"
#include "core/InstanceGuard.h"
#include "core/NetworkSession.h"
#include "monitor/EventLog.h"
#include "monitor/MonitorFile.h"
#include "monitor/PollingTimer.h"
#include "monitor/TrapReceiver.h"
#include "monitor/TrapTable.h"
#include "protocol/settings/SettingsFile.h"
#include "protocol/wire/Ipv4Text.h"
#include "protocol/words/OutcomeWords.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <memory>

namespace kestrel::serve {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitLocalFailure = 2;
constexpr int kExitInterrupted = 130;

void Say(const char* level, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", level, text.c_str());
    std::fflush(stderr);
}

// The tables are the truth; there are no rows to draw.
class ServiceLists : public ListHooks {
public:
    void RefreshDiscoveryRow(int) override {}
    void RefreshMonitorRow(int) override {}
    void ClearDiscoveryRows() override {}
    void RemoveDiscoveryRow(std::string_view) override {}
    void RemoveMonitorRow(std::string_view, std::string_view) override {}
    SelectionMemo RememberSelection() override { return {}; }
    void RestoreSelection(const SelectionMemo&) override {}
};

// The boxes of the shared code (a socket that will not bind, a log that
// cannot be written) become lines on standard error, which systemd keeps in
// the journal too. Nobody answers a question: it goes ahead, as on the
// command line.
class ServiceNotifier : public Notifier {
public:
    void Show(const Message& m) override {
        const char* level = m.icon == MessageIcon::Error     ? "error"
                            : m.icon == MessageIcon::Warning ? "warning"
                                                             : "info";
        Say(level, std::string(m.text));
    }
    bool Ask(const Message& question) override {
        Show(question);
        return true;
    }
};

// Everything that lives while the service runs; large tables off the stack.
struct Watch {
    ServiceNotifier notifier;
    ServiceLists lists;
    ProtocolSettings settings;
    SetExchange exchange;
    std::unique_ptr<DeviceTables> tables = std::make_unique<DeviceTables>();
    CoreEvents events;
    SystemClock clock;
    TrapTable traps;
    ServiceTally tally;
    EventSink sink;
};

void ConnectEvents(Watch& w) {
    DeviceTable& monitor = w.tables->monitor;
    QObject::connect(&w.events, &CoreEvents::agentStored, [&w, &monitor](const AgentStored& s) {
        if (s.list != AgentList::Monitor || !monitor.InUse(s.index))
            return;
        const DeviceRecord& r = monitor.records[static_cast<std::size_t>(s.index)];
        if (w.tally.Answered(FieldText(r.ip_text), ServiceTally::Clock::now()))
            w.sink.Send(BackEvent(FieldText(r.ip_text), FieldText(r.mac_text)));
    });
    QObject::connect(&w.events, &CoreEvents::agentLost, [&w](const AgentLost& lost) {
        if (w.tally.Lost(lost.ip_text))
            w.sink.Send(LostEvent(lost.ip_text, lost.mac_text));
    });
    QObject::connect(&w.events, &CoreEvents::discoveryReply,
                     [&w](const std::string&) { w.tally.DiscoveryAnswer(); });
    QObject::connect(&w.events, &CoreEvents::datagramDropped,
                     [&w](DropReason reason) { w.tally.Dropped(reason); });
    QObject::connect(&w.events, &CoreEvents::sendFailed, [&w](const SendFailure& failure) {
        w.tally.SendFailed(failure.kind);
        std::string storage;
        w.sink.Send(SendFailureEvent(SendFailureMessage(failure, storage).text));
    });
    QObject::connect(&w.events, &CoreEvents::statusReply, [&w](const StatusReply& reply) {
        std::string storage;
        w.sink.Send(
            StatusEvent(reply, FormatIpv4(reply.ip), StatusReplyMessage(reply, storage).text));
    });
    QObject::connect(&w.events, &CoreEvents::setConfirmed, [&w](const SetConfirmation& set) {
        w.sink.Send(SetConfirmedEvent(FormatIpv4(set.ip), set.mac_text));
    });
    QObject::connect(&w.events, &CoreEvents::triggerAcknowledged,
                     [&w](const std::string& mac) { w.sink.Send(TriggerEvent(mac)); });
}

// The administrator's define.ecf, else the one the package ships: a service
// cannot copy it into its read-only configuration folder as the window does.
std::filesystem::path SettingsFile(const ServiceFolders& folders) {
    const std::filesystem::path own = folders.config / "define.ecf";
    std::error_code error;
    if (std::filesystem::exists(own, error))
        return own;
    const QString shipped = FindShippedDefineEcf(QCoreApplication::applicationDirPath());
    if (shipped.isEmpty())
        return own; // its load says what is missing
    Say("info", "no " + own.string() + "; using " + shipped.toStdString());
    return QFile::encodeName(shipped).toStdString();
}

void Reload(Watch& w, const std::filesystem::path& file) {
    NotifyReloading();
    auto loaded = std::make_unique<DeviceTable>();
    ServiceLists none;
    if (LoadMonitorAtStartUp(file, *loaded, none, w.notifier)) {
        const MonitorChange change = ApplyMonitorList(w.tables->monitor, *loaded);
        for (const std::string& ip : change.removed)
            w.tally.Forget(ip);
        w.sink.Send(ReloadEvent(change.added, change.removed));
    } else {
        Say("warning", "monitor.cfg could not be read; the monitor list stays as it was");
    }
    NotifyReady();
}

} // namespace

int RunService(const ServeOptions& options) {
    QCoreApplication::setApplicationName(QStringLiteral("kestrel-cli"));
    ServiceSignals signals;
    const ServiceFolders folders =
        ResolveServiceFolders(EnvironmentFolderInputs(options.state_dir, options.config_dir));
    auto w = std::make_unique<Watch>();
    DeviceTable& monitor = w->tables->monitor;

    if (!LoadSettingsFile(SettingsFile(folders), w->notifier, w->settings))
        return kExitLocalFailure;
    std::error_code error;
    if (!std::filesystem::is_directory(folders.state, error)) {
        Say("error", "the state folder " + folders.state.string() + " does not exist");
        return kExitLocalFailure;
    }
    const InstanceGuard guard(w->settings.base_port);
    if (guard.state() == InstanceGuard::State::HeldByOther) {
        Say("error", guard.Explanation().toStdString());
        return kExitLocalFailure;
    }
    if (guard.state() == InstanceGuard::State::Failed)
        Say("warning", guard.Explanation().toStdString());

    const std::filesystem::path monitor_file = MonitorFilePath(folders.state);
    if (!LoadMonitorAtStartUp(monitor_file, monitor, w->lists, w->notifier))
        return kExitLocalFailure;

    EventLog log(EventLogPath(folders.state), w->clock, w->notifier);
    TrapReceiver receiver(monitor, w->lists, log, w->traps, [&w](const kestrel::TrapEvent& trap) {
        w->tally.Trap(trap.ip_text);
        w->sink.Send(TrapReceivedEvent(trap.ip_text, trap.mac_text, trap.text));
    });
    NetworkSession network({.settings = w->settings,
                            .exchange = w->exchange,
                            .tables = *w->tables,
                            .lists = w->lists,
                            .events = w->events,
                            .notifier = w->notifier,
                            .traps = &receiver});
    ConnectEvents(*w);
    if (!network.OpenBroadcastSocket() || !network.OpenMulticastSocket() ||
        !network.OpenUnicastSocket())
        return kExitLocalFailure;

    MetricsServer metrics([&w, &monitor] {
        ServiceMetrics m = w->tally.Snapshot(monitor, ServiceTally::Clock::now());
        m.process = ReadProcessMetrics();
        return FormatMetrics(m);
    });
    if (const QString why = metrics.Listen(options.metrics); !why.isEmpty()) {
        Say("error", "cannot serve metrics on " + options.metrics.host + ":" +
                         std::to_string(options.metrics.port) + ": " + why.toStdString());
        return kExitLocalFailure;
    }

    PollingTimer polling({.settings = w->settings,
                          .monitor = monitor,
                          .sender = network.sockets(),
                          .lists = w->lists,
                          .events = w->events,
                          .log = log});
    polling.SetRefreshPeriod(options.refresh_seconds);
    QTimer alive_check;
    alive_check.setInterval(kAliveCheckIntervalMs);
    QObject::connect(&alive_check, &QTimer::timeout, [&polling] { polling.CheckAlive(); });
    polling.Start();
    alive_check.start();
    network.StartKeepAlive();

    QEventLoop loop;
    int stop_signal = 0;
    QObject::connect(&signals, &ServiceSignals::Stop, [&](int signal) {
        NotifyStopping();
        stop_signal = signal;
        loop.quit();
    });
    QObject::connect(&signals, &ServiceSignals::Reload, [&] { Reload(*w, monitor_file); });

    const std::string where =
        "http://" +
        (options.metrics.host.find(':') != std::string::npos ? "[" + options.metrics.host + "]"
                                                             : options.metrics.host) +
        ":" + std::to_string(options.metrics.port) + "/metrics";
    Say("info", "watching " + std::to_string(monitor.count()) + " agents; metrics at " + where +
                    "; events to " + (w->sink.toJournal() ? "the journal" : "standard error"));
    NotifyStatus(("watching " + std::to_string(monitor.count()) + " agents").c_str());
    NotifyReady();
    loop.exec();

    alive_check.stop();
    network.CloseSockets();
    return stop_signal == SIGINT ? kExitInterrupted : kExitOk;
}

} // namespace kestrel::serve
