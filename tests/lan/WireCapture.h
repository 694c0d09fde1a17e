#pragma once
// IGMP packets as they arrive on the far end of the simulated LAN's veth
// pair, read while the Qt event loop keeps running.

#include <QCoreApplication>
#include <QElapsedTimer>

#include <arpa/inet.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace wire_capture {

// The workstation side and its peer, as scripts/lan sets them up.
inline constexpr const char* kWorkstationLink = "kws0";
inline constexpr const char* kPeerLink = "kag0";

inline bool InsideSimulatedLan() {
    return if_nametoindex(kWorkstationLink) != 0 && if_nametoindex(kPeerLink) != 0;
}

struct Report {
    qint64 at_ms;
    std::vector<uint8_t> igmp;
};

// Every IPv4 IGMP packet that arrives on the peer end of the veth pair.
class WireCapture {
public:
    WireCapture() {
        fd_ = ::socket(AF_PACKET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, htons(ETH_P_IP));
        if (fd_ < 0)
            return;
        sockaddr_ll at{};
        at.sll_family = AF_PACKET;
        at.sll_protocol = htons(ETH_P_IP);
        at.sll_ifindex = static_cast<int>(if_nametoindex(kPeerLink));
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~WireCapture() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    WireCapture(const WireCapture&) = delete;
    WireCapture& operator=(const WireCapture&) = delete;

    bool open() const { return fd_ >= 0; }

    // Runs the event loop for the given time, collecting IGMP packets sent
    // to group; ends early once enough of them have arrived.
    std::vector<Report> Collect(int ms, uint32_t group, const QElapsedTimer& clock,
                                std::size_t enough = SIZE_MAX) {
        std::vector<Report> reports;
        QElapsedTimer window;
        window.start();
        while (window.elapsed() < ms && reports.size() < enough) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            std::array<uint8_t, 1600> frame;
            for (;;) {
                const ssize_t n = ::recv(fd_, frame.data(), frame.size(), 0);
                if (n <= 0)
                    break;
                Parse(std::span(frame.data(), static_cast<std::size_t>(n)), group, clock, reports);
            }
            ::usleep(5000);
        }
        return reports;
    }

private:
    static void Parse(std::span<const uint8_t> ip, uint32_t group, const QElapsedTimer& clock,
                      std::vector<Report>& out) {
        if (ip.size() < 20 || (ip[0] >> 4) != 4)
            return;
        const std::size_t header = static_cast<std::size_t>(ip[0] & 0x0F) * 4;
        if (header < 20 || ip.size() < header || ip[9] != IPPROTO_IGMP)
            return;
        const uint32_t dst = (uint32_t{ip[16]} << 24) | (uint32_t{ip[17]} << 16) |
                             (uint32_t{ip[18]} << 8) | uint32_t{ip[19]};
        if (dst != group)
            return;
        out.push_back(
            {clock.elapsed(), {ip.begin() + static_cast<std::ptrdiff_t>(header), ip.end()}});
    }

    int fd_ = -1;
};

} // namespace wire_capture
