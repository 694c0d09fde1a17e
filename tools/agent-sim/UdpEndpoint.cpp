#include "UdpEndpoint.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kestrel::sim {

namespace {

sockaddr_in Ipv4(uint32_t address, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(address);
    return sa;
}

template <typename T> bool SetOption(int fd, int level, int name, const T& value) {
    return setsockopt(fd, level, name, &value, sizeof value) == 0;
}

} // namespace

std::optional<UdpEndpoint> UdpEndpoint::Open(uint16_t port, std::optional<uint32_t> group,
                                             std::string& error) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return std::nullopt;
    }
    UdpEndpoint endpoint(fd);
    const int on = 1;
    SetOption(fd, SOL_SOCKET, SO_REUSEADDR, on);
    if (!SetOption(fd, IPPROTO_IP, IP_PKTINFO, on)) {
        error = std::string("IP_PKTINFO: ") + std::strerror(errno);
        return std::nullopt;
    }
    // Lets an agent answer from an address that is not local (one moved out
    // of the simulated range); needs CAP_NET_ADMIN, which the namespace gives.
    SetOption(fd, IPPROTO_IP, IP_TRANSPARENT, on);
    // Thousands of agents' requests may queue up at once.
    SetOption(fd, SOL_SOCKET, SO_RCVBUF, 4 << 20);
    SetOption(fd, SOL_SOCKET, SO_SNDBUF, 4 << 20);
    const sockaddr_in local = Ipv4(INADDR_ANY, port);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        error = "bind port " + std::to_string(port) + ": " + std::strerror(errno);
        return std::nullopt;
    }
    if (group) {
        ip_mreqn membership{};
        membership.imr_multiaddr.s_addr = htonl(*group);
        membership.imr_address.s_addr = htonl(INADDR_ANY);
        if (!SetOption(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, membership)) {
            error = std::string("join group: ") + std::strerror(errno);
            return std::nullopt;
        }
    }
    return endpoint;
}

UdpEndpoint& UdpEndpoint::operator=(UdpEndpoint&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

UdpEndpoint::~UdpEndpoint() {
    if (fd_ >= 0)
        close(fd_);
}

std::optional<UdpEndpoint::Datagram> UdpEndpoint::Receive() {
    Datagram d;
    d.bytes.resize(65535);
    sockaddr_in from{};
    iovec iov{d.bytes.data(), d.bytes.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
    msghdr msg{};
    msg.msg_name = &from;
    msg.msg_namelen = sizeof from;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    const ssize_t n = recvmsg(fd_, &msg, 0);
    if (n < 0)
        return std::nullopt;
    d.bytes.resize(static_cast<std::size_t>(n));
    d.src = ntohl(from.sin_addr.s_addr);
    d.src_port = ntohs(from.sin_port);
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo info;
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            d.dst = ntohl(info.ipi_addr.s_addr);
            d.card = info.ipi_ifindex;
        }
    }
    return d;
}

int UdpEndpoint::Send(uint32_t from, uint32_t to, uint16_t port, std::span<const uint8_t> bytes) {
    sockaddr_in dest = Ipv4(to, port);
    iovec iov{const_cast<uint8_t*>(bytes.data()), bytes.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))]{};
    msghdr msg{};
    msg.msg_name = &dest;
    msg.msg_namelen = sizeof dest;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = IPPROTO_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_spec_dst.s_addr = htonl(from);
    std::memcpy(CMSG_DATA(c), &info, sizeof info);
    if (sendmsg(fd_, &msg, 0) < 0)
        return errno;
    return 0;
}

} // namespace kestrel::sim
