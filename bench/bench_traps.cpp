// A flood of traps from 256 monitored agents into the real window, as fast
// as the simulator sends them, for about 10 s. Prints the traps handled per
// second, the longest stall of the window's event loop (a 5 ms probe timer),
// and whether every trap that reached the socket was logged and counted: the
// traps sent, less the socket's drops (/proc/net/udp), must equal the trap
// count and the events of syslog.log and its older files (a "last message
// repeated N times" line standing for N). Also prints the log's size on disk.
//
// It opens sockets: run it only inside the simulated LAN (scripts/bench-traps
// does).
//   bench_traps [SECONDS [BURST]]

#include "SimProcess.h"
#include "app/switchyardDlg.h"
#include "protocol/settings/SettingsDefaults.h"
#include "protocol/settings/SettingsFile.h"
#include "protocol/wire/Ipv4Text.h"
#include "support/FakeNotifier.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

using namespace kestrel;

namespace {

constexpr int kAgents = 256;
constexpr int kProbeMs = 5;

// Receive-queue drops of the UDP sockets bound to port, from /proc/net/udp.
long long SocketDrops(uint16_t port) {
    std::ifstream in("/proc/net/udp");
    std::string line;
    std::getline(in, line); // header
    long long drops = 0;
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, ":%04X", port);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string slot, local;
        fields >> slot >> local;
        if (local.size() < 5 || local.substr(local.size() - 5) != wanted)
            continue;
        std::string last, word;
        while (fields >> word)
            last = word;
        drops += std::stoll(last);
    }
    return drops;
}

void Wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// What the event log holds of the flood, over the current file and its older
// ones: a line counts one event, a "last message repeated N times" line N.
struct LogTally {
    long long events = 0;
    long long lines = 0;
    long long bytes = 0;
    bool oldest_in_use = false; // the oldest file exists: older lines may be gone
};

LogTally TallyLog(const std::filesystem::path& log) {
    LogTally tally;
    const std::string repeated = " last message repeated ";
    const LogRotation rotation;
    for (int g = 0; g <= rotation.generations; ++g) {
        const std::filesystem::path file = g == 0 ? log : RotatedLogPath(log, g);
        std::ifstream in(file, std::ios::binary);
        if (!in)
            continue;
        tally.oldest_in_use = g == rotation.generations;
        std::string line;
        while (std::getline(in, line)) {
            tally.bytes += static_cast<long long>(line.size()) + 1;
            ++tally.lines;
            const std::size_t at = line.find(repeated);
            tally.events +=
                at == std::string::npos ? 1 : std::stoll(line.substr(at + repeated.size()));
        }
    }
    return tally;
}

// Times every event delivered on the window's thread, to name what held the
// loop when it stalled.
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        if (QThread::currentThread() != thread())
            return QApplication::notify(receiver, event);
        QElapsedTimer t;
        t.start();
        ++depth_;
        const int type = event->type();
        // Named now: the receiver may be gone once the event is handled.
        const char* receiver_class = receiver->metaObject()->className();
        const bool result = QApplication::notify(receiver, event);
        --depth_;
        const qint64 ns = t.nsecsElapsed();
        if (depth_ == 0 && ns > longest_ns) {
            longest_ns = ns;
            longest_what = std::string(receiver_class) + " event " + std::to_string(type);
        }
        return result;
    }
    qint64 longest_ns = 0;
    std::string longest_what;

private:
    int depth_ = 0;
};

// Starts the simulator and has every agent send bursts of traps for the
// given time. Runs on a thread of its own: the simulator's process lives there.
struct Flood {
    int seconds = 10;
    int burst = 50;
    std::atomic<bool> finished = false;
    long long sent = 0;
    double sending_s = 0;
    std::string error;

    bool Run(const std::function<void()>& started) {
        test::SimProcess sim;
        const bool ok = Send(sim, started);
        if (!ok)
            error = sim.Error();
        sim.Stop();
        finished = true;
        return ok;
    }

private:
    bool Send(test::SimProcess& sim, const std::function<void()>& started) {
        if (!sim.Start({.agents = "", .count = kAgents, .args = {}}) ||
            !sim.Command("set all burst=" + std::to_string(burst)))
            return false;
        started();
        QElapsedTimer clock;
        clock.start();
        long long commands = 0;
        while (clock.elapsed() < seconds * 1000LL) {
            if (!sim.Command("trap all flood", 120000))
                return false;
            ++commands;
        }
        sending_s = clock.elapsed() / 1000.0;
        sent = commands * kAgents * burst - sim.Count("SENDFAIL");
        return true;
    }
};

} // namespace

int main(int argc, char** argv) {
    TimedApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int burst = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 10000) : 50;

    QTemporaryDir cfg;
    qputenv("KESTREL_CFG_DIR", cfg.path().toLocal8Bit());
    const QString ecf = QDir(cfg.path()).filePath(QStringLiteral("define.ecf"));
    if (!CreateSettingsFile(QFile::encodeName(ecf).toStdString(), DefaultSettings()))
        return 2;
    FakeNotifier notifier;
    CSwitchyardDlg window(notifier);
    window.show();
    Wait(200);

    // The simulator's generated agents: 198.18.1.1 to .254, then 198.18.2.x.
    for (int n = 0; n < kAgents; ++n) {
        DeviceRecord r = ZeroRecord();
        const uint32_t ip =
            0xC6120000u + static_cast<uint32_t>(((n / 254 + 1) << 8) | (n % 254 + 1));
        SetFieldText(r.ip_text, FormatIpv4(ip));
        r.ip = ip;
        r.row_state = kRowNew;
        r.status_image = kImageNone;
        if (!window.tables().monitor.Append(r))
            return 2;
        window.lists().RefreshMonitorRow(n);
    }

    const uint16_t port = window.settings().UnicastPort();
    const TrapTable& table = window.trapTable();
    QElapsedTimer clock;
    clock.start();
    std::atomic<bool> flooding = false;

    // The simulator is driven from a thread of its own, so the window's
    // thread runs its event loop as the program does, not the waits of the
    // simulator's driver.
    Flood flood;
    flood.seconds = seconds;
    flood.burst = burst;
    long long drops_before = 0;
    std::thread driver([&] {
        if (!flood.Run([&] {
                drops_before = SocketDrops(port);
                flooding = true;
            }))
            std::fprintf(stderr, "simulator: %s\n", flood.error.c_str());
        QMetaObject::invokeMethod(
            &app, [] {}, Qt::QueuedConnection); // wake the loop
    });

    // Two probes: the gaps between ticks of a 5 ms timer (the program's own
    // timers: polling, alive check, keep-alive), and how late an event posted
    // from another thread every 5 ms is handled (what painting and input see).
    qint64 last_tick = -1, worst_gap = 0, worst_at = 0, worst_post = 0, first_trap = -1;
    qint64 last_change = 0, worst_post_cpu = 0, worst_post_wall = 0, last_cpu_ns = 0,
           last_post_ns = 0;
    long long last_count = 0, worst_count = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(kProbeMs);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (!flooding)
            return;
        const qint64 now = clock.nsecsElapsed();
        if (last_tick >= 0 && now - last_tick - kProbeMs * 1000000LL > worst_gap) {
            worst_gap = now - last_tick - kProbeMs * 1000000LL;
            worst_at = now;
            worst_count = table.count();
        }
        last_tick = now;
    });
    probe.start();
    // The loop comes round once per pass; the longest time between two
    // passes is how long input and painting could have waited.
    qint64 last_pass = -1, worst_pass = 0, passes = 0;
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     [&] {
                         if (!flooding)
                             return;
                         const qint64 now = clock.nsecsElapsed();
                         if (last_pass >= 0)
                             worst_pass = std::max(worst_pass, now - last_pass);
                         last_pass = now;
                         ++passes;
                     });
    std::atomic<bool> posting = true;
    std::thread poster([&] {
        while (posting) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kProbeMs));
            if (!flooding)
                continue;
            const qint64 sent = clock.nsecsElapsed();
            QMetaObject::invokeMethod(
                &app,
                [&, sent] {
                    const qint64 now = clock.nsecsElapsed();
                    timespec cpu{};
                    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
                    const qint64 cpu_ns = cpu.tv_sec * 1000000000LL + cpu.tv_nsec;
                    if (now - sent > worst_post) {
                        worst_post = now - sent;
                        worst_post_cpu = cpu_ns - last_cpu_ns;
                        worst_post_wall = now - last_post_ns;
                    }
                    last_cpu_ns = cpu_ns;
                    last_post_ns = now;
                    if (table.count() != last_count) {
                        if (first_trap < 0)
                            first_trap = now;
                        last_count = table.count();
                        last_change = now;
                    }
                },
                Qt::QueuedConnection);
        }
    });

    // Until the flood has been sent and the count has stood for a second.
    QEventLoop loop;
    QTimer done;
    done.setInterval(50);
    QObject::connect(&done, &QTimer::timeout, [&] {
        if (flood.finished && clock.nsecsElapsed() - last_change > 1000000000LL)
            loop.quit();
    });
    done.start();
    loop.exec();
    probe.stop();
    posting = false;
    poster.join();
    driver.join();
    if (!flood.error.empty())
        return 2;

    const long long sent = flood.sent;
    const long long drops = SocketDrops(port) - drops_before;
    const long long counted = table.count();
    // The window's log writes what it still holds when the window goes.
    window.eventLog().FlushRepeats();
    const LogTally log = TallyLog(window.eventLog().Path());
    const long long logged = log.events;
    const double handling_s = std::max<qint64>(last_change - first_trap, 1) / 1e9;

    std::printf("traps sent by the simulator      %lld in %.1f s (%.0f/s)\n", sent, flood.sending_s,
                sent / flood.sending_s);
    std::printf("dropped at the socket            %lld\n", drops);
    std::printf("counted / logged                 %lld / %lld\n", counted, logged);
    std::printf("log lines / bytes (all files)    %lld / %lld%s\n", log.lines, log.bytes,
                log.oldest_in_use ? " (oldest file in use: older lines dropped)" : "");
    std::printf("handled per second               %.0f\n", counted / handling_s);
    std::printf("longest pass of the event loop   %.1f ms (%lld passes)\n", worst_pass / 1e6,
                passes);
    std::printf("longest gap between timer ticks  %.1f ms (ended %.2f s in, %lld traps counted)\n",
                worst_gap / 1e6, worst_at / 1e9, worst_count);
    std::printf("longest wait of a posted event   %.1f ms (thread CPU %.1f ms of %.1f ms)\n",
                worst_post / 1e6, worst_post_cpu / 1e6, worst_post_wall / 1e6);
    std::printf("longest single event             %.1f ms (%s)\n", app.longest_ns / 1e6,
                app.longest_what.c_str());
    {
        // Time the window's thread ran and waited for a processor.
        std::ifstream schedstat("/proc/thread-self/schedstat");
        long long ran = 0, waited = 0;
        schedstat >> ran >> waited;
        std::printf("window's thread ran / waited     %.2f s / %.2f s\n", ran / 1e9, waited / 1e9);
    }
    std::printf("boxes shown                      %zu\n", notifier.shown.size());
    // Once the oldest file is in use, lines older than it are gone by design.
    const bool whole =
        (counted == logged || (log.oldest_in_use && counted > logged)) && counted == sent - drops;
    std::printf("every trap that reached the socket logged and counted: %s\n",
                whole ? "yes" : "NO");
    return whole ? 0 : 1;
}
