#pragma once
// A bare UDP socket for LAN tests that talk to the simulated agents without
// the utility: bind, join a group, send, and collect replies with a timeout.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

namespace kestrel::test {

struct Received {
    std::vector<uint8_t> bytes;
    uint32_t src = 0;
    uint16_t src_port = 0;
};

class PlainSocket {
public:
    // address: the local address to send from; 0 for any.
    explicit PlainSocket(uint16_t port, uint32_t address = 0)
        : fd_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        const int on = 1;
        setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        // Room for thousands of replies, as the program asks for its own
        // sockets: a reader that the machine holds back for a moment loses
        // nothing.
        // Past the system's cap where we may (root outside a user namespace).
        const int buffer = 8 << 20;
        if (setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &buffer, sizeof buffer) != 0)
            setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(port);
        local.sin_addr.s_addr = htonl(address);
        bound_ = bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
    }
    PlainSocket(const PlainSocket&) = delete;
    PlainSocket& operator=(const PlainSocket&) = delete;
    ~PlainSocket() { close(fd_); }

    bool Bound() const { return fd_ >= 0 && bound_; }
    int fd() const { return fd_; }

    bool Join(uint32_t group) {
        ip_mreqn m{};
        m.imr_multiaddr.s_addr = htonl(group);
        return setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m) == 0;
    }

    bool Send(std::span<const uint8_t> bytes, uint32_t to, uint16_t port) {
        sockaddr_in dest{};
        dest.sin_family = AF_INET;
        dest.sin_port = htons(port);
        dest.sin_addr.s_addr = htonl(to);
        return sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&dest),
                      sizeof dest) == static_cast<ssize_t>(bytes.size());
    }

    // Datagrams until `want` have come or timeout_ms has passed.
    std::vector<Received> Collect(std::size_t want, int timeout_ms) {
        std::vector<Received> out;
        out.reserve(std::min<std::size_t>(want, 4096));
        // One buffer for every read: the reader must be quick, also under
        // the sanitizers.
        std::vector<uint8_t> buffer(65535);
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (out.size() < want) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  end - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0)
                break;
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left)) <= 0)
                continue;
            Received r;
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n = recvfrom(fd_, buffer.data(), buffer.size(), 0,
                                       reinterpret_cast<sockaddr*>(&from), &len);
            if (n < 0)
                continue;
            r.bytes.assign(buffer.begin(), buffer.begin() + n);
            r.src = ntohl(from.sin_addr.s_addr);
            r.src_port = ntohs(from.sin_port);
            out.push_back(std::move(r));
        }
        return out;
    }

private:
    int fd_;
    bool bound_ = false;
};

} // namespace kestrel::test
