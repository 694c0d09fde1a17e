#include "SendReport.h"

#include "protocol/discovery/IgmpReport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace kestrel::igmp_report {

namespace {

sockaddr_in Address(uint32_t ip) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(ip);
    return address;
}

} // namespace

bool SendReport(int fd, const ReportRequest& request) {
    // The system builds the IP header: no IP_HDRINCL, so the source is the
    // card's address and nothing else.
    const sockaddr_in from = Address(request.source);
    ip_mreqn card{};
    card.imr_address = from.sin_addr;
    card.imr_ifindex = request.card_index;
    const int hops = 1;
    const sockaddr_in to = Address(request.group);
    const std::array<uint8_t, kIgmpReportSize> report = BuildIgmpReport(request.group);
    return ::bind(fd, reinterpret_cast<const sockaddr*>(&from), sizeof from) == 0 &&
           ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &card, sizeof card) == 0 &&
           ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &hops, sizeof hops) == 0 &&
           ::sendto(fd, report.data(), report.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                    sizeof to) == static_cast<ssize_t>(report.size());
}

} // namespace kestrel::igmp_report
