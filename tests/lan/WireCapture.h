#pragma once
// IPv4 packets as they arrive on the far end of one of the simulated LAN's
// veth pairs (what went out on the wire), read while the Qt event loop keeps
// running.

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
#include <functional>
#include <span>
#include <vector>

namespace wire_capture {

// The workstation side and its peer, as scripts/lan sets them up.
inline constexpr const char* kWorkstationLink = "kws0";
inline constexpr const char* kPeerLink = "kag0";
// The peer of the second link (scripts/lan --links 2).
inline constexpr const char* kSecondPeerLink = "kag1";

inline bool InsideSimulatedLan() {
    return if_nametoindex(kWorkstationLink) != 0 && if_nametoindex(kPeerLink) != 0;
}

struct Report {
    qint64 at_ms;
    std::vector<uint8_t> igmp;
};

struct Packet {
    qint64 at_ms;
    uint8_t protocol;
    uint32_t dst;
    std::vector<uint8_t> payload; // after the IP header
    std::vector<uint8_t> header;  // the IP header itself
    // UDP only: the destination port.
    uint16_t DstPort() const {
        return payload.size() < 4 ? 0 : static_cast<uint16_t>(payload[2] << 8 | payload[3]);
    }
};

// Every IPv4 packet that arrives on the peer end of a veth pair.
class WireCapture {
public:
    explicit WireCapture(const char* link = kPeerLink) {
        fd_ = ::socket(AF_PACKET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, htons(ETH_P_IP));
        if (fd_ < 0)
            return;
        sockaddr_ll at{};
        at.sll_family = AF_PACKET;
        at.sll_protocol = htons(ETH_P_IP);
        at.sll_ifindex = static_cast<int>(if_nametoindex(link));
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
        for (Packet& p : CollectPackets(
                 ms, clock,
                 [group](const Packet& p) { return p.protocol == IPPROTO_IGMP && p.dst == group; },
                 enough))
            reports.push_back({p.at_ms, std::move(p.payload)});
        return reports;
    }

    // The same for every packet that keep accepts.
    std::vector<Packet> CollectPackets(int ms, const QElapsedTimer& clock,
                                       const std::function<bool(const Packet&)>& keep,
                                       std::size_t enough = SIZE_MAX) {
        std::vector<Packet> packets;
        QElapsedTimer window;
        window.start();
        while (window.elapsed() < ms && packets.size() < enough) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            std::array<uint8_t, 1600> frame;
            for (;;) {
                const ssize_t n = ::recv(fd_, frame.data(), frame.size(), 0);
                if (n <= 0)
                    break;
                Parse(std::span(frame.data(), static_cast<std::size_t>(n)), clock, keep, packets);
            }
            ::usleep(5000);
        }
        return packets;
    }

private:
    static void Parse(std::span<const uint8_t> ip, const QElapsedTimer& clock,
                      const std::function<bool(const Packet&)>& keep, std::vector<Packet>& out) {
        if (ip.size() < 20 || (ip[0] >> 4) != 4)
            return;
        const std::size_t header = static_cast<std::size_t>(ip[0] & 0x0F) * 4;
        if (header < 20 || ip.size() < header)
            return;
        Packet p{clock.elapsed(),
                 ip[9],
                 (uint32_t{ip[16]} << 24) | (uint32_t{ip[17]} << 16) | (uint32_t{ip[18]} << 8) |
                     uint32_t{ip[19]},
                 {ip.begin() + static_cast<std::ptrdiff_t>(header), ip.end()},
                 {ip.begin(), ip.begin() + static_cast<std::ptrdiff_t>(header)}};
        if (keep(p))
            out.push_back(std::move(p));
    }

    int fd_ = -1;
};

} // namespace wire_capture
