// What the simulated LAN of scripts/lan must give: limited broadcast and the
// multicast group reach local listeners, and a datagram sent from an agent
// address arrives with that address as its sender.
#include "PlainSocket.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace kestrel::test;

namespace {

constexpr uint32_t kWorkstation = 0xC6120001; // 198.18.0.1
constexpr uint16_t kPort = 7010;

std::vector<uint8_t> Text(const std::string& s) {
    return {s.begin(), s.end()};
}

TEST(SimulatedLan, LimitedBroadcastReachesAnyAddressListener) {
    PlainSocket listener(kPort);
    PlainSocket sender(0);
    ASSERT_TRUE(listener.Bound());
    ASSERT_TRUE(sender.Send(Text("hello all"), 0xFFFFFFFF, kPort));
    const auto got = listener.Collect(1, 2000);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].bytes, Text("hello all"));
    EXPECT_EQ(got[0].src, kWorkstation);
}

TEST(SimulatedLan, MulticastReachesGroupMember) {
    PlainSocket member(kPort + 2);
    ASSERT_TRUE(member.Bound());
    ASSERT_TRUE(member.Join(0xEFFFFFFA)); // 239.255.255.250
    PlainSocket sender(kPort + 6);
    ASSERT_TRUE(sender.Send(Text("to the group"), 0xEFFFFFFA, kPort + 2));
    const auto got = member.Collect(1, 2000);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].bytes, Text("to the group"));
    EXPECT_EQ(got[0].src_port, kPort + 6);
}

TEST(SimulatedLan, AgentAddressesAreLocalAndSourceReplies) {
    PlainSocket workstation(kPort + 1);
    PlainSocket agent(kPort + 2);
    ASSERT_TRUE(workstation.Bound());
    ASSERT_TRUE(agent.Bound());

    const uint32_t agents[] = {0xC6120101, 0xC61201FE, 0xC61208DE, 0xC612FF01}; // .1.1 ... .255.1
    for (uint32_t address : agents) {
        SCOPED_TRACE(address);
        // A unicast request reaches the agent socket, from the workstation.
        ASSERT_TRUE(workstation.Send(Text("poll"), address, kPort + 2));
        const auto request = agent.Collect(1, 2000);
        ASSERT_EQ(request.size(), 1u);
        EXPECT_EQ(request[0].src, kWorkstation);

        // The answer, sent from the agent's address, carries it as sender.
        msghdr msg{};
        sockaddr_in dest{};
        dest.sin_family = AF_INET;
        dest.sin_port = htons(kPort + 1);
        dest.sin_addr.s_addr = htonl(kWorkstation);
        char payload[] = "reply";
        iovec iov{payload, 5};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))]{};
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
        info.ipi_spec_dst.s_addr = htonl(address);
        std::memcpy(CMSG_DATA(c), &info, sizeof info);
        ASSERT_EQ(sendmsg(agent.fd(), &msg, 0), 5);

        const auto reply = workstation.Collect(1, 2000);
        ASSERT_EQ(reply.size(), 1u);
        EXPECT_EQ(reply[0].src, address);
        EXPECT_EQ(reply[0].src_port, kPort + 2);
    }
}

} // namespace
