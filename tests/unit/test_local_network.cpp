// This computer's networks: which cards broadcast and group requests go out
// on, and by which card an agent is reached.

#include "protocol/wire/Ipv4Text.h"
#include "protocol/wire/LocalNetwork.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kestrel;

namespace {

LocalNetwork Net(const char* address, const char* mask, int card, const char* name,
                 bool broadcast) {
    return {.address = ParseIpv4(address).value(),
            .mask = ParseIpv4(mask).value(),
            .card_index = card,
            .card_name = name,
            .broadcast_card = broadcast};
}

const std::vector<LocalNetwork> kNetworks = {
    Net("127.0.0.1", "255.0.0.0", 1, "lo", false),
    Net("192.168.1.10", "255.255.255.0", 2, "eth0", true),
    Net("192.168.7.10", "255.255.255.0", 2, "eth0", true), // a second address
    Net("10.8.0.2", "255.255.0.0", 3, "tun0", false),      // no broadcast
    Net("172.16.4.1", "255.255.252.0", 4, "wlan0", true),
};

std::vector<std::string> Names(const std::vector<LocalNetwork>& networks) {
    std::vector<std::string> names;
    for (const LocalNetwork& n : networks)
        names.push_back(DescribeNetwork(n));
    return names;
}

TEST(LocalNetwork, EachBroadcastCardOnceWithItsFirstAddress) {
    EXPECT_EQ(Names(BroadcastCards(kNetworks)),
              (std::vector<std::string>{"eth0 (192.168.1.10/24)", "wlan0 (172.16.4.1/22)"}));
    EXPECT_TRUE(BroadcastCards({}).empty());
}

TEST(LocalNetwork, TheNetworkHoldingAnAgentPrefersACardToSendOn) {
    const struct {
        const char* agent;
        const char* network; // empty: none
    } cases[] = {
        {"192.168.1.77", "eth0 (192.168.1.10/24)"},
        {"192.168.7.1", "eth0 (192.168.7.10/24)"},
        {"172.16.7.254", "wlan0 (172.16.4.1/22)"},
        {"172.16.8.1", ""},
        {"10.8.200.1", "tun0 (10.8.0.2/16)"},
        {"127.0.0.5", "lo (127.0.0.1/8)"},
        {"8.8.8.8", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.agent);
        const auto found = NetworkHolding(kNetworks, ParseIpv4(c.agent).value());
        EXPECT_EQ(found ? DescribeNetwork(*found) : "", c.network);
    }
    // A card to send on wins over a network that only overlaps it.
    const std::vector<LocalNetwork> overlap = {Net("10.0.0.1", "255.0.0.0", 7, "tun1", false),
                                               Net("10.1.0.1", "255.255.0.0", 8, "eth1", true)};
    EXPECT_EQ(DescribeNetwork(*NetworkHolding(overlap, ParseIpv4("10.1.2.3").value())),
              "eth1 (10.1.0.1/16)");
}

} // namespace
