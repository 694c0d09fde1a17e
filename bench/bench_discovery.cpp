// How long a discovery of 256 agents takes in the real window, against how
// long the same 256 answers take to reach a bare socket. The difference is
// what the program adds: the membership renewal before sending, dispatch,
// and the list rows.
//
// It opens sockets and sends broadcasts: run it only inside the simulated LAN
// (scripts/bench-discovery does).
//   bench_discovery [REPEATS [PACE_US]]
// PACE_US is the simulator's spacing of the answers to one request (its
// default is 200 us); (b) is mostly 256 times that.
//
// The ratio that matters starts at the moment the request leaves, so however
// long the membership renewal before it takes, it does not count. A 5 ms
// timer meanwhile reports the longest stall of the window's event loop.

#include "PlainSocket.h"
#include "SimProcess.h"
#include "app/switchyardDlg.h"
#include "protocol/discovery/Discovery.h"
#include "protocol/seams/Seams.h"
#include "protocol/settings/SettingsDefaults.h"
#include "protocol/settings/SettingsFile.h"
#include "protocol/wire/Ipv4Text.h"
#include "protocol/wire/PacketHeader.h"
#include "support/FakeNotifier.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <net/if.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

using namespace kestrel;

namespace {

constexpr int kAgents = 256;
constexpr int kTimeoutMs = 10000;
// The bare socket's port: none of the window's (P, P+1, P+6), nor the agents' (P+2).
constexpr uint16_t kBarePortOffset = 10;

constexpr int kProbeMs = 5;
constexpr int kSettleMs = 200;

struct WindowRun {
    double from_click_ms = 0;  // click until the last row
    double after_press_ms = 0; // from the end of the button handler until the last row
};

struct SentRun {
    double from_send_ms = 0;   // the request leaving until the last row
    double worst_stall_ms = 0; // the probe's worst lateness from the send until settled
};

// A 5 ms timer that keeps the worst lateness of its ticks after a start mark.
class StallProbe {
public:
    explicit StallProbe(QElapsedTimer& clock) : clock_(clock) {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(kProbeMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            if (from_ns_ >= 0 && last_ns_ >= from_ns_)
                worst_ns_ = std::max(worst_ns_, now - last_ns_ - kProbeMs * 1000000LL);
            last_ns_ = now;
        });
    }
    void Start() { timer_.start(); }
    // Counts only the ticks after now; the first one at or after it sets the base.
    void CountFrom(qint64 ns) { from_ns_ = ns; }
    void Stop(qint64 now) {
        timer_.stop();
        if (from_ns_ >= 0 && last_ns_ >= from_ns_)
            worst_ns_ = std::max(worst_ns_, now - last_ns_ - kProbeMs * 1000000LL);
    }
    double WorstMs() const { return std::max<qint64>(worst_ns_, 0) / 1e6; }

private:
    QElapsedTimer& clock_;
    QTimer timer_;
    qint64 from_ns_ = -1;
    qint64 last_ns_ = -1;
    qint64 worst_ns_ = 0;
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void Print(const char* what, const std::vector<double>& v) {
    std::printf("%-48s median %8.2f ms   min %8.2f   max %8.2f   (n=%zu)\n", what, Median(v),
                *std::min_element(v.begin(), v.end()), *std::max_element(v.begin(), v.end()),
                v.size());
}

// Lets the answers still on their way (the second copies) arrive and go.
void Drain(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Waits, with the event loop running, until the discovery list holds 256
// rows; Done() is the clock's reading when the 256th came, -1 if none did.
class FullList {
public:
    FullList(QTreeWidget& list, const QElapsedTimer& clock) : list_(list), clock_(clock) {
        timeout_.setSingleShot(true);
        QObject::connect(&timeout_, &QTimer::timeout, &loop_, &QEventLoop::quit);
        connection_ = QObject::connect(list.model(), &QAbstractItemModel::rowsInserted, [this] {
            if (done_ns_ < 0 && list_.topLevelItemCount() >= kAgents) {
                done_ns_ = clock_.nsecsElapsed();
                loop_.quit();
            }
        });
    }
    ~FullList() { QObject::disconnect(connection_); }
    FullList(const FullList&) = delete;
    FullList& operator=(const FullList&) = delete;

    qint64 Wait() {
        if (done_ns_ < 0) {
            timeout_.start(kTimeoutMs);
            loop_.exec();
        }
        QObject::disconnect(connection_);
        return done_ns_;
    }

private:
    QTreeWidget& list_;
    const QElapsedTimer& clock_;
    QEventLoop loop_;
    QTimer timeout_;
    QMetaObject::Connection connection_;
    qint64 done_ns_ = -1;
};

// The window's discovery, from the click to the 256th row.
std::optional<WindowRun> TimeWindowDiscovery(CSwitchyardDlg& window, QPushButton& button) {
    QElapsedTimer clock;
    FullList full(window.discoveryList(), clock);
    clock.start();
    button.click();
    const qint64 pressed_ns = clock.nsecsElapsed();
    const qint64 done_ns = full.Wait();
    if (done_ns < 0)
        return std::nullopt;
    return WindowRun{done_ns / 1e6, (done_ns - pressed_ns) / 1e6};
}

// The window's discovery from the moment its request leaves to the 256th
// row, with the event loop's worst stall over the whole discovery: from the
// press, through the multicast re-join, until the list has settled.
std::optional<SentRun> TimeFromSend(CSwitchyardDlg& window) {
    QElapsedTimer clock;
    clock.start();
    StallProbe probe(clock);
    qint64 sent_ns = -1;
    const auto sent = QObject::connect(&window.network(), &NetworkSession::discoverySent,
                                       [&] { sent_ns = clock.nsecsElapsed(); });
    FullList full(window.discoveryList(), clock);

    probe.Start();
    probe.CountFrom(clock.nsecsElapsed());
    window.network().Discover();
    const qint64 done_ns = full.Wait();
    QObject::disconnect(sent);
    if (done_ns < 0 || sent_ns < 0)
        return std::nullopt;
    // The second copies and any painting held back come after the last row.
    Drain(kSettleMs);
    probe.Stop(clock.nsecsElapsed());
    return SentRun{(done_ns - sent_ns) / 1e6, probe.WorstMs()};
}

// One request by broadcast and to the group from a bare socket, until 256
// distinct agents have answered.
std::optional<double> TimeBareDiscovery(test::PlainSocket& socket, const ProtocolSettings& s,
                                        uint32_t group) {
    std::array<uint8_t, kHeaderSize> request{};
    BuildRequestHeader(request, CMD_DISCOVERY, s.utility_id);
    std::set<MacBytes> answered;
    QElapsedTimer clock;
    clock.start();
    if (!socket.Send(request, kLimitedBroadcast, s.AgentPort()) ||
        !socket.Send(request, group, s.AgentPort()))
        return std::nullopt;
    while (answered.size() < static_cast<std::size_t>(kAgents) && clock.elapsed() < kTimeoutMs) {
        const int left = static_cast<int>(kTimeoutMs - clock.elapsed());
        for (const test::Received& r : socket.Collect(1, std::max(left, 1))) {
            const PacketHeader h = DecodeHeader(r.bytes);
            if (r.bytes.size() >= kHeaderSize && h.command == CMD_DISCOVERY_REPLY &&
                h.utility_id == s.utility_id)
                answered.insert(h.mac);
        }
    }
    if (answered.size() < static_cast<std::size_t>(kAgents))
        return std::nullopt;
    return clock.nsecsElapsed() / 1e6;
}

std::optional<int> Number(std::string_view text, int low, int high) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

int Fail(const char* why) {
    std::fprintf(stderr, "bench_discovery: %s\n", why);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (if_nametoindex("kws0") == 0)
        return Fail("not inside the simulated LAN; run scripts/bench-discovery");
    const std::optional<int> repeats = argc > 1 ? Number(argv[1], 1, 1000) : 10;
    const std::optional<int> pace_us = argc > 2 ? Number(argv[2], 0, 1000000) : 200;
    if (argc > 3 || !repeats || !pace_us)
        return Fail("usage: bench_discovery [REPEATS 1-1000 [PACE_US 0-1000000]]");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    test::SimProcess sim;
    if (!sim.Start(
            {.agents = {}, .count = kAgents, .args = {"--pace-us", std::to_string(*pace_us)}}))
        return Fail(sim.Error().c_str());

    QTemporaryDir cfg;
    const ProtocolSettings settings = DefaultSettings();
    const std::optional<uint32_t> group = ParseIpv4(settings.multicast_group);
    if (!cfg.isValid() || !group ||
        !CreateSettingsFile(
            QFile::encodeName(QDir(cfg.path()).filePath(QStringLiteral("define.ecf")))
                .toStdString(),
            settings))
        return Fail("cannot write define.ecf");
    qputenv("KESTREL_CFG_DIR", cfg.path().toLocal8Bit());

    std::printf("%d agents, answers %d us apart, %d repeats\n", kAgents, *pace_us, *repeats);
    std::vector<double> from_click;
    std::vector<double> after_press;
    std::vector<double> from_send;
    std::vector<double> stalls;
    {
        FakeNotifier notifier;
        CSwitchyardDlg window(notifier);
        if (window.endedDuringStartUp())
            return Fail("the window could not start");
        window.show();
        auto* button = window.findChild<QPushButton*>(QStringLiteral("ctl1001"));
        if (button == nullptr)
            return Fail("no Discovery button");
        Drain(200);
        for (int i = 0; i < *repeats; ++i) {
            const std::optional<WindowRun> run = TimeWindowDiscovery(window, *button);
            if (!run)
                return Fail(("the window did not show 256 rows in time: " +
                             std::to_string(window.discoveryList().topLevelItemCount()) +
                             " rows, " + std::to_string(window.tables().discovery.count()) +
                             " records, " + std::to_string(sim.Count("RX DISCOVERY")) +
                             " requests seen, " + std::to_string(sim.Count("REPLY")) +
                             " replies sent")
                                .c_str());
            from_click.push_back(run->from_click_ms);
            after_press.push_back(run->after_press_ms);
            Drain(300);
        }
        for (int i = 0; i < *repeats; ++i) {
            const std::optional<SentRun> run = TimeFromSend(window);
            if (!run)
                return Fail("the window did not show 256 rows in time after sending");
            from_send.push_back(run->from_send_ms);
            stalls.push_back(run->worst_stall_ms);
            Drain(300);
        }
        if (!notifier.shown.empty())
            return Fail(notifier.shown.front().text.c_str());
    }

    std::vector<double> bare;
    {
        test::PlainSocket socket(static_cast<uint16_t>(settings.base_port + kBarePortOffset));
        if (!socket.Bound())
            return Fail("cannot bind the bare socket");
        for (int i = 0; i < *repeats; ++i) {
            const std::optional<double> ms = TimeBareDiscovery(socket, settings, *group);
            if (!ms)
                return Fail("the bare socket did not hear 256 agents in time");
            bare.push_back(*ms);
            socket.Collect(SIZE_MAX, 300); // the second copies
        }
    }

    Print("(a) window: click to 256 rows", from_click);
    Print("(a') window: end of button handler to 256 rows", after_press);
    Print("(a'') window: request sent to 256 rows", from_send);
    Print("(b) bare socket: request to 256 agents", bare);
    Print("event loop: worst stall, press to settled", stalls);
    std::printf("ratio (a)/(b)  %.2f\n", Median(from_click) / Median(bare));
    std::printf("ratio (a')/(b) %.2f\n", Median(after_press) / Median(bare));
    std::printf("ratio (a'')/(b) %.2f\n", Median(from_send) / Median(bare));
    return 0;
}
