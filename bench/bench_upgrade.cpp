// A firmware upgrade of an 8 MiB image through the real window and its
// Firmware Upgrade dialog to a simulated agent, several times. Prints, per
// run, the seconds from the write request to the last ACK, the longest
// pass of the window's event loop and the longest late tick of a 5 ms timer
// meanwhile, and whether the agent stored the image intact; then the median
// seconds on a line of its own for scripts/bench-upgrade.
//
// With TFTP_CLIENT (tftp-hpa's client), that client then sends FILE to the
// same simulated agent as many times, each after a trigger from a bare
// socket, so that a packet capture around the whole program (the script
// runs one) times both senders against the same receiver.
//
// It opens sockets: run it only inside the simulated LAN (scripts/bench-upgrade
// does).
//   bench_upgrade [RUNS [FILE [TFTP_CLIENT]]]
// Without FILE it sends an image of 8 MiB that it makes itself.

#include "FirmwareImages.h"
#include "PlainSocket.h"
#include "SimProcess.h"
#include "app/switchyardDlg.h"
#include "protocol/settings/SettingsDefaults.h"
#include "protocol/settings/SettingsFile.h"
#include "protocol/upgrade/UpgradeTrigger.h"
#include "protocol/wire/PacketHeader.h"
#include "support/FakeNotifier.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace kestrel;

namespace {

constexpr int kProbeMs = 5;

bool WaitFor(const std::function<bool()>& done, int timeout_ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeout_ms)
            return false;
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// The agent takes a write for a while after a trigger it acknowledged.
// Each with a sequence of its own: the agent acts once on copies of one
// request that come within seconds.
bool Trigger(const DeviceRecord& agent, const char* password, uint16_t sequence) {
    const ProtocolSettings settings = DefaultSettings();
    // A port of none of the window's sockets (P, P+1, P+6) nor the agents' (P+2).
    test::PlainSocket socket(static_cast<uint16_t>(settings.base_port + 10));
    if (!socket.Bound())
        return false;
    const std::vector<uint8_t> request = BuildUpgradeTrigger(settings, sequence, agent, password);
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (!socket.Send(request, agent.ip, settings.AgentPort()))
            return false;
        for (const test::Received& r : socket.Collect(1, 250)) {
            const PacketHeader h = DecodeHeader(r.bytes);
            if (r.bytes.size() >= kHeaderSize && h.command == CMD_UPGRADE_TRIGGER_REPLY)
                return h.ReplyStatus() == 0;
        }
    }
    return false;
}

struct Run {
    double seconds = 0;
    double longest_pass_ms = 0;
    double longest_late_tick_ms = 0;
    bool intact = false;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::clamp(std::atoi(argv[1]), 1, 50) : 3;

    QTemporaryDir cfg;
    qputenv("KESTREL_CFG_DIR", cfg.path().toLocal8Bit());
    const QString ecf = QDir(cfg.path()).filePath(QStringLiteral("define.ecf"));
    if (!CreateSettingsFile(QFile::encodeName(ecf).toStdString(), DefaultSettings()))
        return 2;

    std::vector<uint8_t> image;
    QString path;
    if (argc > 2) {
        path = QString::fromLocal8Bit(argv[2]);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", argv[2]);
            return 2;
        }
        const QByteArray all = file.readAll();
        image.assign(all.begin(), all.end());
    } else {
        image = firmware_images::PatternImage(8u << 20);
        path = QDir(cfg.path()).filePath(QStringLiteral("firmware.hex"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(reinterpret_cast<const char*>(image.data()),
                       static_cast<qint64>(image.size())) != static_cast<qint64>(image.size()))
            return 2;
    }
    const auto bytes = static_cast<long long>(image.size());
    const std::string stored = firmware_images::StoredText("198.18.1.2", image);

    test::SimProcess sim;
    if (!sim.Start({.agents = "ip=198.18.1.2 mac=020000000002 password=pw reboot=1\n",
                    .count = 0,
                    .args = {}})) {
        std::fprintf(stderr, "simulator: %s\n", sim.Error().c_str());
        return 2;
    }

    FakeNotifier notifier;
    CSwitchyardDlg window(notifier);
    window.show();
    UpgradeRun& upgrade = window.upgrade();

    // Probes, active while a transfer runs: the longest time between two
    // passes of the event loop (what input and painting could have waited)
    // and the latest tick of a 5 ms timer (what the program's timers saw).
    QElapsedTimer clock;
    clock.start();
    bool measuring = false;
    qint64 started = 0, ended = 0, last_pass = -1, worst_pass = 0, last_tick = -1, worst_late = 0;
    QObject::connect(
        QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, [&] {
            if (!measuring)
                return;
            const qint64 now = clock.nsecsElapsed();
            if (last_pass >= 0)
                worst_pass = std::max(worst_pass, now - last_pass);
            last_pass = now;
            // The last ACK has come: the 5 s wait before the end runs.
            if (upgrade.transfer().transfer().state() == TftpTransfer::State::Finishing) {
                ended = now;
                measuring = false;
            }
        });
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(kProbeMs);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (measuring && last_tick >= 0)
            worst_late = std::max(worst_late, now - last_tick - kProbeMs * 1000000LL);
        last_tick = now;
    });
    probe.start();
    // The write request is out: Upgrade State reads "Wait....".
    QObject::connect(&upgrade, &UpgradeRun::TransferStarted, [&] {
        if (upgrade.transfer().IsOpen()) {
            started = clock.nsecsElapsed();
            // Stalls count from the write request on, not the opening of
            // the file before it.
            last_pass = last_tick = -1;
            worst_pass = worst_late = 0;
            measuring = true;
        }
    });

    std::vector<Run> results;
    for (int r = 0; r < runs; ++r) {
        QTreeWidget& list = window.discoveryList();
        if (list.topLevelItemCount() == 0) {
            window.findChild<QPushButton*>(QStringLiteral("ctl1001"))->click();
            if (!WaitFor([&] { return list.topLevelItemCount() > 0; }, 10000)) {
                std::fprintf(stderr, "the agent was not discovered\n");
                return 1;
            }
        }
        list.clearSelection();
        list.topLevelItem(0)->setSelected(true);
        window.findChild<QPushButton*>(QStringLiteral("ctl1042"))->click();
        QPointer<CFirmware_Upgrade> dialog = window.upgradeDialog();
        if (!dialog) {
            std::fprintf(stderr, "no dialog: %s\n",
                         notifier.shown.empty() ? "" : notifier.shown.back().text.c_str());
            return 1;
        }
        dialog->findChild<QLineEdit*>(QStringLiteral("ctl1045"))->setText(path);
        dialog->findChild<QLineEdit*>(QStringLiteral("ctl1070"))->setText(QStringLiteral("pw"));
        const std::size_t from = sim.Lines().size();
        ended = 0;
        dialog->findChild<QPushButton*>(QStringLiteral("ctl1015"))->click();
        if (!WaitFor([&] { return dialog.isNull(); }, 600000) || ended == 0) {
            std::fprintf(stderr, "the upgrade did not complete\n");
            return 1;
        }
        Run run;
        run.seconds = static_cast<double>(ended - started) / 1e9;
        run.longest_pass_ms = static_cast<double>(worst_pass) / 1e6;
        run.longest_late_tick_ms = static_cast<double>(worst_late) / 1e6;
        run.intact = sim.WaitForLine(stored, 2000, from).has_value();
        results.push_back(run);
        std::printf("run %d: %lld bytes in %.3f s (%.2f MB/s), longest event-loop pass %.1f ms, "
                    "longest stall of a 5 ms timer %.1f ms, stored intact: %s\n",
                    r + 1, bytes, run.seconds, static_cast<double>(bytes) / 1e6 / run.seconds,
                    run.longest_pass_ms, run.longest_late_tick_ms, run.intact ? "yes" : "NO");
        std::fflush(stdout);
        // The agent reboots and the window rediscovers it before the next run.
        WaitFor([&] { return !window.rediscovery().running(); }, 60000);
    }
    std::vector<double> seconds;
    double worst_stall_ms = 0;
    for (const Run& r : results) {
        seconds.push_back(r.seconds);
        worst_stall_ms = std::max({worst_stall_ms, r.longest_pass_ms, r.longest_late_tick_ms});
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("median %.3f s; the window's longest stall over all runs %.1f ms (aim: under "
                "50 ms)\n",
                seconds[seconds.size() / 2], worst_stall_ms);
    std::printf("SECONDS %.3f\n", seconds[seconds.size() / 2]);
    bool all_intact =
        std::all_of(results.begin(), results.end(), [](const Run& r) { return r.intact; });

    // The other sender, to the same agent; the capture times it.
    if (argc > 3) {
        const DeviceRecord agent = upgrade.target();
        const std::string ip = "198.18.1.2";
        for (int r = 0; r < runs; ++r) {
            // Nothing is taken while the agent reboots after the last write.
            const std::size_t from = sim.Lines().size();
            if (!Trigger(agent, "pw", static_cast<uint16_t>(r + 1))) {
                std::fprintf(stderr, "the agent did not take the trigger\n");
                return 1;
            }
            QProcess client;
            client.setProcessChannelMode(QProcess::ForwardedChannels);
            client.start(QString::fromLocal8Bit(argv[3]),
                         {QStringLiteral("-m"), QStringLiteral("binary"),
                          QString::fromStdString(ip), QStringLiteral("-c"), QStringLiteral("put"),
                          path, QStringLiteral("firmware.hex")});
            if (!client.waitForStarted(10000) ||
                !WaitFor([&] { return client.state() == QProcess::NotRunning; }, 600000)) {
                std::fprintf(stderr, "tftp-hpa did not run to its end\n");
                return 1;
            }
            const bool intact = sim.WaitForLine(stored, 2000, from).has_value();
            all_intact = all_intact && intact;
            std::printf("tftp-hpa run %d: exit %d, stored intact: %s\n", r + 1, client.exitCode(),
                        intact ? "yes" : "NO");
            std::fflush(stdout);
            sim.WaitForLine("STATE " + ip + " back", 30000, from);
        }
    }
    sim.Stop();
    return all_intact ? 0 : 1;
}
