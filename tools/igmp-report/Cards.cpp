#include "Cards.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>

namespace kestrel::igmp_report {

std::vector<Card> ReadCards() {
    std::vector<Card> cards;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return cards;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_name == nullptr)
            continue;
        const std::string name = entry->ifa_name;
        auto card =
            std::find_if(cards.begin(), cards.end(), [&](const Card& c) { return c.name == name; });
        if (card == cards.end()) {
            cards.push_back({.name = name,
                             .index = static_cast<int>(::if_nametoindex(name.c_str())),
                             .address = std::nullopt,
                             .up = (entry->ifa_flags & IFF_UP) != 0,
                             .multicast = (entry->ifa_flags & IFF_MULTICAST) != 0});
            card = cards.end() - 1;
        }
        if (!card->address && entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET) {
            sockaddr_in address{};
            std::memcpy(&address, entry->ifa_addr, sizeof address);
            card->address = ntohl(address.sin_addr.s_addr);
        }
    }
    ::freeifaddrs(list);
    return cards;
}

} // namespace kestrel::igmp_report
