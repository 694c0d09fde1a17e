// A long run of the real window among 256 simulated agents, some of which
// flap between answering and silence and some misbehave. Presses Discovery
// now and then, moves well-behaved agents into the monitor list, lets the
// window's own timers run, and reports memory, the deepest receive queue of
// the window's sockets and whether every well-behaved agent is still listed.
//
// It opens sockets and sends broadcasts: run it only inside the simulated LAN
// (scripts/soak does).
//   soak_run [SECONDS]

#include "SimProcess.h"
#include "app/switchyardDlg.h"
#include "protocol/seams/Notifier.h"
#include "protocol/settings/SettingsDefaults.h"
#include "protocol/settings/SettingsFile.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <charconv>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kWellBehaved = 200;
constexpr int kFlapping = 30;
constexpr int kDiscoveryEveryS = 20;
constexpr int kMovePerRound = 25;
// The window's sockets: base port, unicast (P+1) and multicast (P+6).
const std::set<unsigned> kProgramPorts = {5010, 5011, 5016};

// Discovery and monitor list columns.
constexpr int kDiscMac = 0;
constexpr int kDiscIp = 1;
constexpr int kMonIp = 1;
constexpr int kMonMac = 2;

// Answers every question with OK and counts what it was shown.
class CountingNotifier : public kestrel::Notifier {
public:
    std::map<std::string, long> counts;
    void Show(const kestrel::Message& m) override { ++counts[std::string(m.text)]; }
    bool Ask(const kestrel::Message& m) override {
        ++counts[std::string(m.text)];
        return true;
    }
};

struct Agent {
    std::string ip;
    std::string mac; // as the lists show it
};

Agent WellBehaved(int n) {
    char mac[16];
    std::snprintf(mac, sizeof mac, "024b5300%04x", n + 1);
    return {"198.18." + std::to_string(1 + n / 250) + '.' + std::to_string(1 + n % 250), mac};
}

std::string AgentsFile() {
    std::string text;
    for (int n = 0; n < kWellBehaved; ++n)
        text += "ip=" + WellBehaved(n).ip + " mac=" + WellBehaved(n).mac + '\n';
    // Flapping agents in 198.18.3.0/24, with periods of 7 to 21 s.
    for (int n = 0; n < kFlapping; ++n) {
        char mac[16];
        std::snprintf(mac, sizeof mac, "02fa0000%04x", n + 1);
        text += "ip=198.18.3." + std::to_string(n + 1) + " mac=" + mac +
                " flap=" + std::to_string(7 + n % 15) + '\n';
    }
    // Misbehaving agents in 198.18.4.0/24; the claimers claim flapping ones.
    const char* const kinds[] = {"dup=1",
                                 "delay_ms=1500",
                                 "reorder=1",
                                 "burst=4",
                                 "wrong_seq=1",
                                 "status=3",
                                 "hostile=1",
                                 "claim=198.18.3.1 dup=1",
                                 "delay_ms=400 reorder=1 dup=1",
                                 "status=5 burst=2",
                                 "hostile=1 trap_every=5",
                                 "claim=198.18.3.2"};
    const int misbehaving = 256 - kWellBehaved - kFlapping;
    for (int n = 0; n < misbehaving; ++n) {
        char mac[16];
        std::snprintf(mac, sizeof mac, "02bd0000%04x", n + 1);
        text += "ip=198.18.4." + std::to_string(n + 1) + " mac=" + mac + ' ' +
                kinds[n % std::size(kinds)] + '\n';
    }
    return text;
}

long VmRssKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// The deepest receive queue, in bytes, among the window's UDP sockets now.
long LargestRxQueue() {
    std::ifstream udp("/proc/net/udp");
    std::string line;
    std::getline(udp, line); // the heading
    long largest = 0;
    while (std::getline(udp, line)) {
        std::istringstream words(line);
        std::string slot, local, remote, state, queues;
        if (!(words >> slot >> local >> remote >> state >> queues))
            continue;
        const std::size_t colon = local.find(':');
        const std::size_t q = queues.find(':');
        if (colon == std::string::npos || q == std::string::npos)
            continue;
        const unsigned port = std::stoul(local.substr(colon + 1), nullptr, 16);
        if (!kProgramPorts.count(port))
            continue;
        largest = std::max(largest, std::stol(queues.substr(q + 1), nullptr, 16));
    }
    return largest;
}

void Wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

std::map<std::string, std::string> IpByMac(QTreeWidget& list, int mac_column, int ip_column,
                                           std::map<std::string, int>& rows) {
    std::map<std::string, std::string> out;
    for (int row = 0; row < list.topLevelItemCount(); ++row) {
        const std::string mac = list.topLevelItem(row)->text(mac_column).toStdString();
        out[mac] = list.topLevelItem(row)->text(ip_column).toStdString();
        ++rows[mac];
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int seconds = 600;
    if (argc > 1) {
        const std::string_view arg = argv[1];
        auto [end, ec] = std::from_chars(arg.data(), arg.data() + arg.size(), seconds);
        if (ec != std::errc{} || end != arg.data() + arg.size() || seconds < 30) {
            std::fprintf(stderr, "usage: soak_run [SECONDS >= 30]\n");
            return 2;
        }
    }

    QTemporaryDir cfg_dir;
    qputenv("KESTREL_CFG_DIR", cfg_dir.path().toLocal8Bit());
    if (!kestrel::CreateSettingsFile(
            QFile::encodeName(QDir(cfg_dir.path()).filePath(QStringLiteral("define.ecf")))
                .toStdString(),
            kestrel::DefaultSettings())) {
        std::fprintf(stderr, "cannot write define.ecf\n");
        return 2;
    }
    kestrel::test::SimProcess sim;
    if (!sim.Start({.agents = AgentsFile(), .count = 0, .args = {}})) {
        std::fprintf(stderr, "simulator: %s\n", sim.Error().c_str());
        return 2;
    }
    CountingNotifier notifier;
    auto window = std::make_unique<CSwitchyardDlg>(notifier);
    if (window->endedDuringStartUp()) {
        std::fprintf(stderr, "the window ended during start-up\n");
        return 2;
    }
    window->show();
    QPushButton* discovery_button = window->findChild<QPushButton*>(QStringLiteral("ctl1001"));
    QPushButton* add_button = window->findChild<QPushButton*>(QStringLiteral("ctl1002"));
    if (!discovery_button || !add_button)
        return 2;

    const long rss_start = VmRssKb();
    long largest_queue = 0;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout,
                     [&] { largest_queue = std::max(largest_queue, LargestRxQueue()); });
    sampler.start(1000);

    std::set<std::string> well_behaved;
    for (int n = 0; n < kWellBehaved; ++n)
        well_behaved.insert(WellBehaved(n).mac);

    QElapsedTimer clock;
    clock.start();
    int rounds = 0;
    while (clock.elapsed() < qint64{seconds} * 1000 - 30000 || rounds == 0) {
        discovery_button->click();
        ++rounds;
        Wait(8000);
        // Move some well-behaved agents that are not monitored yet.
        QTreeWidget& list = window->discoveryList();
        list.clearSelection();
        int chosen = 0;
        for (int row = 0; row < list.topLevelItemCount() && chosen < kMovePerRound; ++row) {
            QTreeWidgetItem* item = list.topLevelItem(row);
            if (well_behaved.count(item->text(kDiscMac).toStdString())) {
                item->setSelected(true);
                ++chosen;
            }
        }
        if (chosen)
            add_button->click();
        Wait(kDiscoveryEveryS * 1000 - 8000);
    }
    // One last round, then look.
    discovery_button->click();
    Wait(15000);
    sampler.stop();
    largest_queue = std::max(largest_queue, LargestRxQueue());

    std::map<std::string, int> rows;
    const auto in_discovery = IpByMac(window->discoveryList(), kDiscMac, kDiscIp, rows);
    const auto in_monitor = IpByMac(window->monitorList(), kMonMac, kMonIp, rows);
    int missing = 0, wrong = 0, monitored = 0;
    for (int n = 0; n < kWellBehaved; ++n) {
        const Agent a = WellBehaved(n);
        const auto d = in_discovery.find(a.mac);
        const auto m = in_monitor.find(a.mac);
        monitored += m != in_monitor.end();
        if (rows[a.mac] == 0) {
            ++missing;
            std::printf("MISSING %s %s\n", a.ip.c_str(), a.mac.c_str());
        } else if (rows[a.mac] > 1 || (d != in_discovery.end() && d->second != a.ip) ||
                   (m != in_monitor.end() && m->second != a.ip)) {
            ++wrong;
            std::printf("WRONG %s %s rows=%d\n", a.ip.c_str(), a.mac.c_str(), rows[a.mac]);
        }
    }
    const long rss_end = VmRssKb();
    std::printf("soak: %d s, %d discovery rounds, 256 agents (%d well-behaved, %d flapping, %d "
                "misbehaving)\n",
                static_cast<int>(clock.elapsed() / 1000), rounds + 1, kWellBehaved, kFlapping,
                256 - kWellBehaved - kFlapping);
    std::printf("VmRSS: start %ld kB, end %ld kB (%+ld kB)\n", rss_start, rss_end,
                rss_end - rss_start);
    std::printf("largest rx_queue on ports 5010/5011/5016: %ld bytes\n", largest_queue);
    std::printf("well-behaved listed: %d of %d (%d monitored), %d missing, %d wrong or doubled\n",
                kWellBehaved - missing, kWellBehaved, monitored, missing, wrong);
    for (const auto& [text, count] : notifier.counts)
        std::printf("message \"%s\": %ld times\n", text.c_str(), count);
    window.reset();
    return missing || wrong ? 1 : 0;
}
