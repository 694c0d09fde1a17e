// igmp_watch SECONDS: counts the IGMP membership reports for 239.255.255.250
// that arrive on kag0, the far end of scripts/lan's veth pair, over that many
// seconds, and prints "reports N". For the install test.

#include <arpa/inet.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: igmp_watch SECONDS\n", stderr);
        return 2;
    }
    const int fd = ::socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, htons(ETH_P_IP));
    sockaddr_ll at{};
    at.sll_family = AF_PACKET;
    at.sll_protocol = htons(ETH_P_IP);
    at.sll_ifindex = static_cast<int>(if_nametoindex("kag0"));
    if (fd < 0 || at.sll_ifindex == 0 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
        std::perror("igmp_watch: no capture on kag0");
        return 1;
    }
    std::printf("watching\n");
    std::fflush(stdout);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(std::atoi(argv[1]));
    int reports = 0;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(left.count())) != 1)
            continue;
        std::array<uint8_t, 1600> ip{};
        const ssize_t n = ::recv(fd, ip.data(), ip.size(), 0);
        if (n < 28 || (ip[0] >> 4) != 4 || ip[9] != IPPROTO_IGMP)
            continue;
        const std::size_t header = static_cast<std::size_t>(ip[0] & 0x0F) * 4;
        const bool to_group = ip[16] == 239 && ip[17] == 255 && ip[18] == 255 && ip[19] == 250;
        // Type 0x12, the program's own report; the system's reports when it
        // joins the group are of later versions.
        if (to_group && static_cast<std::size_t>(n) >= header + 8 && ip[header] == 0x12)
            ++reports;
    }
    std::printf("reports %d\n", reports);
    return 0;
}
