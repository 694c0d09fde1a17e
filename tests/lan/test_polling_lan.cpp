// Polling and the alive check end to end: the real main window with 256
// monitored agents loaded from monitor.cfg, driven through its tick
// functions instead of waiting for its timers. Runs inside scripts/lan.

#include "SimProcess.h"
#include "gui/WindowFixture.h"
#include "monitor/MonitorFile.h"

#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using kestrel::test::SimProcess;

namespace {

constexpr int kAgents = 256;
constexpr uint16_t kUnicastPort = 5011; // P+1 of the default base port
constexpr uint16_t kAgentPort = 5012;
constexpr uint32_t kWorkstation = 0xC6120001; // 198.18.0.1
constexpr int kMonIp = 1;                     // monitor list column
constexpr int kStatusRole = Qt::UserRole;     // status_image of a row, column 0

// The poll for the default utility identifier, from the header layout.
const std::vector<uint8_t> kPoll = {
    0x00, 0x02, 0x00, 0x00,                         // protocol 2, sub-version 0
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00,             // MAC
    0x00, 0x00, 0x00, 0x05, 0x00, 0x00,             // interface version, command 5, status
    0x4B, 0x45, 0x53, 0x54,                         // utility identifier
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // reserved, sequence
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
};

// The addresses the simulator gives its first n generated agents.
std::vector<std::string> GeneratedAddresses(int n) {
    std::vector<std::string> out;
    for (int third = 1; static_cast<int>(out.size()) < n; ++third)
        for (int fourth = 1; fourth <= 254 && static_cast<int>(out.size()) < n; ++fourth)
            out.push_back("198.18." + std::to_string(third) + '.' + std::to_string(fourth));
    return out;
}

// Stands in for every agent: one socket on the agent port that also tells
// which address each datagram was sent to.
class AgentPortTap {
public:
    AgentPortTap() : fd_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        const int on = 1;
        setsockopt(fd_, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
        const int buffer = 4 << 20;
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(kAgentPort);
        bound_ = bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
    }
    AgentPortTap(const AgentPortTap&) = delete;
    AgentPortTap& operator=(const AgentPortTap&) = delete;
    ~AgentPortTap() { close(fd_); }
    bool Bound() const { return bound_; }

    struct Datagram {
        std::vector<uint8_t> bytes;
        uint32_t src = 0;
        uint16_t src_port = 0;
        std::string dst;
    };

    std::vector<Datagram> Collect(std::size_t want, int timeout_ms) {
        std::vector<Datagram> out;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (out.size() < want && std::chrono::steady_clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0)
                continue;
            uint8_t buffer[2048];
            alignas(cmsghdr) char control[256];
            sockaddr_in from{};
            iovec iov{buffer, sizeof buffer};
            msghdr m{};
            m.msg_name = &from;
            m.msg_namelen = sizeof from;
            m.msg_iov = &iov;
            m.msg_iovlen = 1;
            m.msg_control = control;
            m.msg_controllen = sizeof control;
            const ssize_t n = recvmsg(fd_, &m, 0);
            if (n < 0)
                continue;
            Datagram d;
            d.bytes.assign(buffer, buffer + n);
            d.src = ntohl(from.sin_addr.s_addr);
            d.src_port = ntohs(from.sin_port);
            for (cmsghdr* c = CMSG_FIRSTHDR(&m); c != nullptr; c = CMSG_NXTHDR(&m, c)) {
                if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_PKTINFO)
                    continue;
                in_pktinfo info{};
                std::memcpy(&info, CMSG_DATA(c), sizeof info);
                char text[INET_ADDRSTRLEN] = {};
                inet_ntop(AF_INET, &info.ipi_addr, text, sizeof text);
                d.dst = text;
            }
            out.push_back(std::move(d));
        }
        return out;
    }

private:
    int fd_;
    bool bound_ = false;
};

class PollingLanTest : public WindowFixture {
protected:
    // monitor.cfg with the agents, then the window, which loads it and
    // polls them all at once.
    void OpenWindowMonitoring(const std::vector<std::string>& addresses) {
        kestrel::DeviceTable table;
        for (const std::string& ip : addresses) {
            kestrel::DeviceRecord r = kestrel::ZeroRecord();
            kestrel::SetFieldText(r.ip_text, ip);
            in_addr a{};
            ASSERT_EQ(inet_pton(AF_INET, ip.c_str(), &a), 1);
            r.ip = ntohl(a.s_addr);
            ASSERT_TRUE(table.Append(r));
        }
        FakeNotifier quiet;
        ASSERT_TRUE(kestrel::SaveMonitorFile(
            QFile::encodeName(CfgFile("monitor.cfg")).toStdString(), table, quiet));
        WindowFixture::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_EQ(window->tables().monitor.count(), static_cast<int>(addresses.size()));
        // The test runs the passes and ticks itself.
        for (const char* name : {"timer1", "pollingTimer"}) {
            auto* timer = window->findChild<QTimer*>(QString::fromLatin1(name));
            ASSERT_NE(timer, nullptr) << name;
            timer->stop();
        }
    }
    void SetUp() override {} // each test opens the window itself

    kestrel::DeviceRecord& Record(const std::string& ip) {
        const auto found =
            kestrel::FindMonitorRecord(window->tables().monitor, ip, kestrel::KeyKind::Ip);
        EXPECT_TRUE(found.found) << ip;
        return window->tables().monitor.records[static_cast<std::size_t>(found.index)];
    }
    QTreeWidgetItem* Row(const std::string& ip) {
        QTreeWidget& list = window->monitorList();
        for (int row = 0; row < list.topLevelItemCount(); ++row)
            if (list.topLevelItem(row)->text(kMonIp).toStdString() == ip)
                return list.topLevelItem(row);
        return nullptr;
    }
    // Until every agent but `except` has answered since the last accounting.
    bool WaitForAnswers(const std::string& except = {}) {
        return QTest::qWaitFor(
            [&] {
                for (const kestrel::DeviceRecord& r : window->tables().monitor.InUse())
                    if (kestrel::FieldText(r.ip_text) != except && r.reply_flag != 1)
                        return false;
                return true;
            },
            30000);
    }
    std::vector<std::string> NotAliveLines() {
        std::ifstream in(QFile::encodeName(CfgFile("syslog.log")).toStdString(), std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        std::vector<std::string> lines;
        std::string line;
        while (std::getline(all, line))
            if (line.find("Not alive") != std::string::npos)
                lines.push_back(line.substr(20)); // past the time stamp and its space
        return lines;
    }

    SimProcess sim;
};

} // namespace

TEST_F(PollingLanTest, EveryMonitoredAgentIsPolledEachPassWithTheFortyBytesFromTheUnicastPort) {
    AgentPortTap tap;
    ASSERT_TRUE(tap.Bound());
    const std::vector<std::string> agents = GeneratedAddresses(kAgents);
    OpenWindowMonitoring(agents);
    ASSERT_FALSE(HasFatalFailure());

    const std::set<std::string> expected(agents.begin(), agents.end());
    for (const char* pass : {"start-up pass", "next pass"}) {
        SCOPED_TRACE(pass);
        if (std::string(pass) == "next pass")
            window->polling().Step();
        const auto got = tap.Collect(kAgents, 20000);
        ASSERT_EQ(got.size(), static_cast<std::size_t>(kAgents));
        std::set<std::string> destinations;
        for (const auto& d : got) {
            EXPECT_EQ(d.bytes, kPoll);
            EXPECT_EQ(d.src, kWorkstation);
            EXPECT_EQ(d.src_port, kUnicastPort);
            destinations.insert(d.dst);
        }
        EXPECT_EQ(destinations, expected);
        // Nothing more than one poll each.
        EXPECT_TRUE(tap.Collect(1, 300).empty());
    }
    EXPECT_EQ(window->polling().armedMs(), 15000);
    EXPECT_TRUE(notifier.shown.empty()) << notifier.shown.front().text;
}

TEST_F(PollingLanTest, SilentAgentShowsTheImageAndALinePerTickUntilItAnswersAgain) {
    ASSERT_TRUE(sim.Start({.agents = "", .count = kAgents, .args = {}})) << sim.Error();
    const std::vector<std::string> agents = GeneratedAddresses(kAgents);
    OpenWindowMonitoring(agents);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(WaitForAnswers()) << "the start-up pass was not answered by all";

    const std::string silent = agents[6];
    ASSERT_TRUE(sim.Command("silent " + silent));
    window->polling().Step(); // clears what the start-up pass got
    ASSERT_TRUE(WaitForAnswers(silent));
    window->polling().Step(); // the first miss
    ASSERT_TRUE(WaitForAnswers(silent));
    EXPECT_EQ(Record(silent).missed_polls, 1);

    // Two ticks resend, the third declares.
    window->polling().CheckAlive();
    window->polling().CheckAlive();
    EXPECT_EQ(Record(silent).missed_polls, 3);
    EXPECT_TRUE(NotAliveLines().empty());
    ASSERT_NE(Row(silent), nullptr);
    EXPECT_EQ(Row(silent)->data(0, kStatusRole).toInt(), -1);

    const std::string line = silent + " Not alive \r";
    for (std::size_t tick = 1; tick <= 3; ++tick) {
        // The window's ticks are 5 s apart; within one second the same line
        // would be folded into a count.
        const std::string second = window->eventLog().TimeStamp();
        if (tick > 1) {
            ASSERT_TRUE(
                QTest::qWaitFor([&] { return window->eventLog().TimeStamp() != second; }, 2000));
        }
        window->polling().CheckAlive();
        EXPECT_EQ(NotAliveLines(), std::vector<std::string>(tick, line));
    }
    EXPECT_EQ(Record(silent).row_state, 2);
    EXPECT_EQ(Row(silent)->data(0, kStatusRole).toInt(), 1);
    EXPECT_EQ(Row(silent)->data(0, Qt::AccessibleTextRole).toString(), QStringLiteral("Not alive"));
    int marked = 0;
    for (int row = 0; row < window->monitorList().topLevelItemCount(); ++row)
        marked += window->monitorList().topLevelItem(row)->data(0, kStatusRole).toInt() == 1;
    EXPECT_EQ(marked, 1);

    ASSERT_TRUE(sim.Command("wake " + silent));
    window->polling().Step();
    ASSERT_TRUE(WaitForAnswers());
    EXPECT_EQ(Record(silent).row_state, 1);
    EXPECT_EQ(Row(silent)->data(0, kStatusRole).toInt(), -1);
    window->polling().CheckAlive();
    EXPECT_EQ(NotAliveLines().size(), 3u);
    EXPECT_TRUE(notifier.shown.empty()) << notifier.shown.front().text;
}
