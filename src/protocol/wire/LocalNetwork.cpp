#include "protocol/wire/LocalNetwork.h"

#include "protocol/wire/Ipv4Text.h"

#include <algorithm>
#include <bit>

namespace kestrel {

std::vector<LocalNetwork> BroadcastCards(std::span<const LocalNetwork> networks) {
    std::vector<LocalNetwork> cards;
    for (const LocalNetwork& n : networks) {
        if (!n.broadcast_card)
            continue;
        const bool seen = std::any_of(cards.begin(), cards.end(), [&](const LocalNetwork& c) {
            return c.card_index == n.card_index;
        });
        if (!seen)
            cards.push_back(n);
    }
    return cards;
}

std::optional<LocalNetwork> NetworkHolding(std::span<const LocalNetwork> networks, uint32_t ip) {
    std::optional<LocalNetwork> found;
    for (const LocalNetwork& n : networks) {
        if (!n.Holds(ip))
            continue;
        if (n.broadcast_card)
            return n;
        if (!found)
            found = n;
    }
    return found;
}

std::string DescribeNetwork(const LocalNetwork& network) {
    return network.card_name + " (" + FormatIpv4(network.address) + "/" +
           std::to_string(std::popcount(network.mask)) + ")";
}

} // namespace kestrel
