// The idle cost of the utility: CPU time of the real window (offscreen) over
// a stretch of wall time while 256 monitored agents answer every poll of the
// default 15-second period and timer 1 runs the alive check every 5 s. The
// simulated agents run in a process of their own and are not counted.
//
// It opens sockets and sends: run it only inside the simulated LAN
// (scripts/bench-idle does).
//   bench_idle [SECONDS]     (default 60)

#include "SimProcess.h"
#include "app/switchyardDlg.h"
#include "monitor/MonitorFile.h"
#include "protocol/settings/SettingsDefaults.h"
#include "protocol/settings/SettingsFile.h"
#include "protocol/wire/Ipv4Text.h"
#include "support/FakeNotifier.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <charconv>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

using namespace kestrel;

namespace {

constexpr int kAgents = 256;
constexpr int kWarmUpMs = 3000;

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void Run(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

std::string Address(int i) {
    return "198.18." + std::to_string(1 + i / 254) + '.' + std::to_string(1 + i % 254);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int seconds = 60;
    if (argc > 1) {
        const std::string_view arg = argv[1];
        if (std::from_chars(arg.data(), arg.data() + arg.size(), seconds).ec != std::errc{} ||
            seconds <= 0) {
            std::fprintf(stderr, "usage: bench_idle [SECONDS]\n");
            return 2;
        }
    }

    QTemporaryDir cfg;
    if (!cfg.isValid())
        return 1;
    qputenv("KESTREL_CFG_DIR", cfg.path().toLocal8Bit());
    const auto file = [&](const char* name) {
        return QFile::encodeName(QDir(cfg.path()).filePath(QString::fromLatin1(name)))
            .toStdString();
    };
    if (!CreateSettingsFile(file("define.ecf"), DefaultSettings()))
        return 1;
    DeviceTable table;
    for (int i = 0; i < kAgents; ++i) {
        DeviceRecord r = ZeroRecord();
        SetFieldText(r.ip_text, Address(i));
        r.ip = ParseIpv4(Address(i)).value_or(0);
        table.Append(r);
    }
    FakeNotifier notifier;
    if (!SaveMonitorFile(file("monitor.cfg"), table, notifier))
        return 1;

    test::SimProcess sim;
    if (!sim.Start({.agents = "", .count = kAgents, .args = {}})) {
        std::fprintf(stderr, "simulator: %s\n", sim.Error().c_str());
        return 1;
    }
    auto window = std::make_unique<CSwitchyardDlg>(notifier);
    window->show();
    Run(kWarmUpMs); // the start-up pass and its answers

    const int polls_before = sim.Count("RX POLL");
    QElapsedTimer wall;
    wall.start();
    const double cpu_before = CpuSeconds();
    Run(seconds * 1000);
    const double cpu = CpuSeconds() - cpu_before;
    const double elapsed = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    const int polls = sim.Count("RX POLL") - polls_before;

    int marked = 0;
    for (const DeviceRecord& r : window->tables().monitor.InUse())
        marked += r.status_image == kImageNotAlive ? 1 : 0;
    std::printf("idle: %d monitored agents, %.1f s wall, %d polls reached the agents\n", kAgents,
                elapsed, polls);
    std::printf("cpu of the utility: %.3f s = %.3f %% of one core (aim: under 0.5 %%)\n", cpu,
                100.0 * cpu / elapsed);
    std::printf("agents marked not alive: %d, boxes: %zu\n", marked, notifier.shown.size());
    window.reset();
    sim.Stop();
    return marked == 0 ? 0 : 1;
}
