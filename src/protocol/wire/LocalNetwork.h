#pragma once
// This computer's IPv4 networks and the cards they are on: where broadcast
// and group requests go out, and by which card an agent is reached.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrel {

struct LocalNetwork {
    uint32_t address = 0;
    uint32_t mask = 0;
    int card_index = 0; // the system's interface index; 0 when unknown
    std::string card_name;
    // Up, running, able to broadcast and not loopback: a card to send
    // broadcast and group requests on.
    bool broadcast_card = false;

    bool Holds(uint32_t ip) const { return (ip & mask) == (address & mask); }
};

// The cards to send on, once each (a card with several addresses counts
// once, with its first), in the order given.
std::vector<LocalNetwork> BroadcastCards(std::span<const LocalNetwork> networks);

// The network that holds ip, a card for sending preferred; none when ip is
// in no network of this computer.
std::optional<LocalNetwork> NetworkHolding(std::span<const LocalNetwork> networks, uint32_t ip);

// "kws1 (198.51.100.1/24)": the card and the address with its prefix length.
std::string DescribeNetwork(const LocalNetwork& network);

} // namespace kestrel
