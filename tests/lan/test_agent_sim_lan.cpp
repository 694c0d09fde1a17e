// The simulated agents on the simulated LAN, talked to with plain sockets.
#include "PlainSocket.h"
#include "SimProcess.h"

#include "protocol/wire/ByteOrder.h"
#include "protocol/wire/DeviceRecord.h"
#include "protocol/wire/Ipv4Text.h"
#include "protocol/wire/PacketHeader.h"
#include "protocol/wire/TlvCodec.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>
#include <set>

using namespace kestrel;
using namespace kestrel::test;

namespace {

constexpr uint32_t kUtilityId = 0x4B455354;
constexpr uint32_t kGroup = 0xEFFFFFFA;
constexpr uint16_t kBroadcastPort = 5010;
constexpr uint16_t kUnicastPort = 5011;
constexpr uint16_t kAgentPort = 5012;
constexpr uint16_t kMulticastPort = 5016;

const char* const kAgents = R"(# a mixed LAN
ip=198.18.1.1 mac=020000000001 iface=1 password=one name="first one"
ip=198.18.1.2 mac=020000000002 iface=2 password=two dhcp=1
ip=198.18.1.3 mac=020000000003 iface=3 password=three
ip=198.18.1.4 mac=020000000004 loader=1
ip=198.18.1.5 mac=020000000005 utility=12345678
ip=198.18.1.6 mac=020000000006 silent=1
ip=198.18.1.7 mac=020000000007 proto=3
)";

uint32_t Agent(int n) {
    return 0xC6120100 + static_cast<uint32_t>(n);
}
MacBytes MacOf(int n) {
    return {0x02, 0, 0, 0, 0, static_cast<uint8_t>(n)};
}

std::vector<uint8_t> Request(uint16_t command) {
    std::vector<uint8_t> out(kHeaderSize);
    BuildRequestHeader(std::span<uint8_t, kHeaderSize>(out.data(), kHeaderSize), command,
                       kUtilityId);
    return out;
}

std::vector<uint8_t> Targeted(uint16_t command, int agent, uint16_t sequence,
                              const std::string& password, bool dhcp_refresh = false) {
    std::vector<uint8_t> out(kHeaderSize + 4 + password.size());
    BuildTargetedHeader(std::span<uint8_t, kHeaderSize>(out.data(), kHeaderSize),
                        {command, MacOf(agent), kUtilityId, sequence, dhcp_refresh});
    AppendPasswordField(std::span<uint8_t>(out).subspan(kHeaderSize), password);
    return out;
}

void AppendText(std::vector<uint8_t>& out, uint16_t type, const std::string& text) {
    const std::size_t at = out.size();
    out.resize(at + 4);
    PutU16(out, at, type);
    PutU16(out, at + 2, static_cast<uint16_t>(text.size() + 4));
    out.insert(out.end(), text.begin(), text.end());
}

DeviceRecord Decoded(const Received& r) {
    DeviceRecord record = ZeroRecord();
    record.group_interval = -1;
    record.dhcp_state = kDhcpNotReported;
    record.interface_version = DecodeHeader(r.bytes).interface_version;
    DecodeReplyFields(std::span<const uint8_t>(r.bytes).subspan(kHeaderSize), record);
    return record;
}

std::map<uint32_t, Received> BySender(std::vector<Received> replies) {
    std::map<uint32_t, Received> out;
    for (Received& r : replies)
        out.emplace(r.src, std::move(r));
    return out;
}

class AgentSimLan : public ::testing::Test {
protected:
    void StartSim(SimProcess::Options options) { ASSERT_TRUE(sim.Start(options)) << sim.Error(); }
    SimProcess sim;
};

TEST_F(AgentSimLan, DiscoveryByBroadcastAndMulticastGetsEveryAgentFromItsOwnAddress) {
    StartSim({kAgents, 0, {}});
    PlainSocket broadcast(kBroadcastPort);
    PlainSocket multicast(kMulticastPort);
    ASSERT_TRUE(broadcast.Bound() && multicast.Bound());
    ASSERT_TRUE(multicast.Join(kGroup));

    struct Copy {
        const char* name;
        PlainSocket& socket;
        uint32_t destination;
    };
    for (const Copy& copy :
         {Copy{"broadcast", broadcast, 0xFFFFFFFF}, Copy{"multicast", multicast, kGroup}}) {
        SCOPED_TRACE(copy.name);
        ASSERT_TRUE(copy.socket.Send(Request(CMD_DISCOVERY), copy.destination, kAgentPort));
        // Six answer; the silent one (198.18.1.6) does not.
        auto replies = BySender(copy.socket.Collect(7, 2000));
        ASSERT_EQ(replies.size(), 6u);
        EXPECT_FALSE(replies.count(Agent(6)));

        for (int n : {1, 2, 3, 4, 5, 7}) {
            SCOPED_TRACE(n);
            ASSERT_TRUE(replies.count(Agent(n)));
            const Received& r = replies[Agent(n)];
            const PacketHeader h = DecodeHeader(r.bytes);
            EXPECT_EQ(r.src_port, kAgentPort);
            EXPECT_EQ(h.sub_version, 1);
            EXPECT_EQ(h.mac, MacOf(n));
            EXPECT_EQ(h.status, 0);
            EXPECT_EQ(h.utility_id, n == 5 ? 0x12345678u : kUtilityId);
            EXPECT_EQ(h.protocol_version, n == 7 ? 3 : 2);
            if (n == 4) {
                EXPECT_EQ(h.command, CMD_LOADER_REPLY);
                EXPECT_EQ(r.bytes.size(), kHeaderSize);
                continue;
            }
            EXPECT_EQ(h.command, CMD_DISCOVERY_REPLY);
            const DeviceRecord d = Decoded(r);
            EXPECT_EQ(d.ip, Agent(n));
            EXPECT_EQ(FieldText(d.ip_text), FormatIpv4(Agent(n)));
        }
        const PacketHeader v1 = DecodeHeader(replies[Agent(1)].bytes);
        EXPECT_EQ(v1.interface_version, 1);
        EXPECT_EQ(FieldText(Decoded(replies[Agent(1)]).system_name), "first one");
        EXPECT_EQ(Decoded(replies[Agent(2)]).dhcp_state, kDhcpEnabled);
        // Only interface version 3 reports its mask.
        EXPECT_EQ(Decoded(replies[Agent(3)]).field_mask[0], 0x3FFu | 0x200000u);
        EXPECT_EQ(Decoded(replies[Agent(2)]).field_mask[0], 0u);
    }
}

TEST_F(AgentSimLan, SetChecksPasswordAppliesAllowedFieldsAndEchoesSequence) {
    StartSim({kAgents, 0, {}});
    PlainSocket broadcast(kBroadcastPort);
    PlainSocket unicast(kUnicastPort);
    ASSERT_TRUE(broadcast.Bound() && unicast.Bound());

    // Wrong password, by broadcast: status 2, nothing changes.
    auto wrong = Targeted(CMD_SET, 3, 41, "guess");
    AppendText(wrong, TLV_SYSTEM_NAME, "hacked");
    ASSERT_TRUE(broadcast.Send(wrong, 0xFFFFFFFF, kAgentPort));
    auto replies = broadcast.Collect(2, 1000);
    ASSERT_EQ(replies.size(), 1u) << "only the agent with that MAC answers";
    PacketHeader h = DecodeHeader(replies[0].bytes);
    EXPECT_EQ(replies[0].src, Agent(3));
    EXPECT_EQ(h.command, CMD_SET_REPLY);
    EXPECT_EQ(h.ReplyStatus(), STATUS_PASSWORD_ERROR);
    EXPECT_EQ(h.sequence, 41);
    EXPECT_TRUE(sim.WaitForLine("SET 198.18.1.3 kind=config status=2"));

    // Right password, by unicast: the name is applied; the interface-1 agent's
    // mask has no bit for the group interval, which is refused.
    auto right = Targeted(CMD_UNICAST_SET, 1, 42, "one");
    AppendText(right, TLV_SYSTEM_NAME, "renamed");
    std::vector<uint8_t> group(8);
    PutU16(group, 0, TLV_GROUP_INTERVAL);
    PutU16(group, 2, 8);
    PutU32(group, 4, 300);
    right.insert(right.end(), group.begin(), group.end());
    ASSERT_TRUE(unicast.Send(right, Agent(1), kAgentPort));
    replies = unicast.Collect(1, 1000);
    ASSERT_EQ(replies.size(), 1u);
    h = DecodeHeader(replies[0].bytes);
    EXPECT_EQ(h.command, CMD_UNICAST_SET_REPLY);
    EXPECT_EQ(h.ReplyStatus(), STATUS_OK);
    EXPECT_EQ(h.sequence, 42);
    EXPECT_EQ(FieldText(Decoded(replies[0]).system_name), "renamed");
    EXPECT_EQ(Decoded(replies[0]).group_interval, -1);
    EXPECT_TRUE(sim.WaitForLine("SET 198.18.1.1 kind=config status=0 applied=name refused=22"));

    // A DHCP refresh of an agent whose DHCP is off fails with status 6.
    ASSERT_TRUE(
        unicast.Send(Targeted(CMD_UNICAST_SET, 3, 43, "three", true), Agent(3), kAgentPort));
    replies = unicast.Collect(1, 1000);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(DecodeHeader(replies[0].bytes).ReplyStatus(), STATUS_DHCP_REFRESH_FAIL);
    ASSERT_TRUE(sim.Command("set 198.18.1.3 dhcp=1"));
    ASSERT_TRUE(
        unicast.Send(Targeted(CMD_UNICAST_SET, 3, 44, "three", true), Agent(3), kAgentPort));
    replies = unicast.Collect(1, 1000);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(DecodeHeader(replies[0].bytes).ReplyStatus(), STATUS_OK);
}

TEST_F(AgentSimLan, TftpUploadIsStoredThenTheAgentRebootsAndComesBack) {
    StartSim({kAgents, 0, {}});
    ASSERT_TRUE(sim.Command("set 198.18.1.2 reboot=1"));
    PlainSocket unicast(kUnicastPort);
    PlainSocket tftp(64517);
    ASSERT_TRUE(unicast.Bound() && tftp.Bound());

    std::vector<uint8_t> wrq = {0, 2};
    const std::string name = "/home/op/fw.hex";
    wrq.insert(wrq.end(), name.begin(), name.end());
    wrq.push_back(0);
    for (char c : std::string("octet"))
        wrq.push_back(static_cast<uint8_t>(c));
    wrq.push_back(0);

    // Not triggered yet: refused with a TFTP error.
    ASSERT_TRUE(tftp.Send(wrq, Agent(2), 69));
    auto answer = tftp.Collect(1, 1000);
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_EQ(ByteReader(answer[0].bytes).U16(0), 5);

    // A wrong password is refused; the right one arms the agent.
    ASSERT_TRUE(unicast.Send(Targeted(CMD_UPGRADE_TRIGGER, 2, 7, "nope"), Agent(2), kAgentPort));
    auto replies = unicast.Collect(1, 1000);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(DecodeHeader(replies[0].bytes).ReplyStatus(), STATUS_PASSWORD_ERROR);
    ASSERT_TRUE(unicast.Send(Targeted(CMD_UPGRADE_TRIGGER, 2, 8, "two"), Agent(2), kAgentPort));
    replies = unicast.Collect(1, 1000);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(DecodeHeader(replies[0].bytes).command, CMD_UPGRADE_TRIGGER_REPLY);
    EXPECT_EQ(DecodeHeader(replies[0].bytes).ReplyStatus(), STATUS_OK);
    EXPECT_EQ(DecodeHeader(replies[0].bytes).sequence, 8);

    ASSERT_TRUE(tftp.Send(wrq, Agent(2), 69));
    answer = tftp.Collect(1, 1000);
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_EQ(answer[0].bytes, (std::vector<uint8_t>{0, 4, 0, 0}));
    EXPECT_EQ(answer[0].src, Agent(2));

    // 1000 bytes: a full block and a short one; every DATA goes to port 69.
    std::vector<uint8_t> image(1000);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(i * 7 + 3);
    uint64_t fnv = 14695981039346656037ull;
    for (uint8_t b : image)
        fnv = (fnv ^ b) * 1099511628211ull;
    for (uint16_t block = 1; block <= 2; ++block) {
        std::vector<uint8_t> data = {0, 3, 0, static_cast<uint8_t>(block)};
        const std::size_t from = (block - 1) * 512u;
        const std::size_t to = std::min<std::size_t>(from + 512, image.size());
        data.insert(data.end(), image.begin() + static_cast<long>(from),
                    image.begin() + static_cast<long>(to));
        ASSERT_TRUE(tftp.Send(data, Agent(2), 69));
        answer = tftp.Collect(1, 1000);
        ASSERT_EQ(answer.size(), 1u);
        EXPECT_EQ(answer[0].bytes, (std::vector<uint8_t>{0, 4, 0, static_cast<uint8_t>(block)}));
    }
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(fnv));
    const auto stored = sim.WaitForLine("TFTP 198.18.1.2 stored");
    ASSERT_TRUE(stored);
    EXPECT_NE(stored->find("size=1000 blocks=2 fnv1a=" + std::string(hash) + " name=" + name),
              std::string::npos)
        << *stored;

    // Reboot: silent for a while, then answers again.
    ASSERT_TRUE(sim.WaitForLine("STATE 198.18.1.2 rebooting", 3000));
    ASSERT_TRUE(unicast.Send(Request(CMD_POLL), Agent(2), kAgentPort));
    EXPECT_TRUE(unicast.Collect(1, 300).empty());
    ASSERT_TRUE(sim.WaitForLine("STATE 198.18.1.2 back", 3000));
    ASSERT_TRUE(unicast.Send(Request(CMD_POLL), Agent(2), kAgentPort));
    replies = unicast.Collect(1, 1000);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(DecodeHeader(replies[0].bytes).command, 6);
}

TEST_F(AgentSimLan, SilentAgentsDoNotAnswerUntilWoken) {
    StartSim({kAgents, 0, {}});
    PlainSocket unicast(kUnicastPort);
    ASSERT_TRUE(unicast.Bound());

    ASSERT_TRUE(unicast.Send(Request(CMD_POLL), Agent(6), kAgentPort));
    EXPECT_TRUE(unicast.Collect(1, 500).empty());
    ASSERT_TRUE(sim.Command("wake 198.18.1.6"));
    ASSERT_TRUE(unicast.Send(Request(CMD_POLL), Agent(6), kAgentPort));
    auto replies = unicast.Collect(1, 1000);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].src, Agent(6));

    ASSERT_TRUE(sim.Command("silent all"));
    ASSERT_TRUE(unicast.Send(Request(CMD_DISCOVERY), 0xFFFFFFFF, kAgentPort));
    EXPECT_TRUE(unicast.Collect(1, 500).empty());
    EXPECT_FALSE(sim.Command("silent 198.18.9.9")) << "no such agent";
}

TEST_F(AgentSimLan, TrapOnCommandGoesToTheUnicastPort) {
    StartSim({kAgents, 0, {}});
    PlainSocket unicast(kUnicastPort);
    ASSERT_TRUE(unicast.Bound());
    ASSERT_TRUE(sim.Command("trap 198.18.1.3 Port 4 link down"));
    const auto traps = unicast.Collect(1, 1000);
    ASSERT_EQ(traps.size(), 1u);
    const PacketHeader h = DecodeHeader(traps[0].bytes);
    EXPECT_EQ(h.command, CMD_TRAP);
    EXPECT_EQ(h.sub_version, 1);
    EXPECT_EQ(h.utility_id, kUtilityId);
    std::vector<uint8_t> payload(traps[0].bytes.begin() + kHeaderSize, traps[0].bytes.end());
    const std::string text = "Port 4 link down";
    std::vector<uint8_t> expected = {198, 18, 1, 3};
    expected.insert(expected.end(), text.begin(), text.end());
    expected.push_back(0);
    EXPECT_EQ(payload, expected);
}

TEST_F(AgentSimLan, BadDatagramsLeaveTheAgentsAnswering) {
    StartSim({kAgents, 0, {}});
    PlainSocket unicast(kUnicastPort);
    ASSERT_TRUE(unicast.Bound());
    // Every cut of a set request, then random bytes, to the agent and TFTP ports.
    auto set = Targeted(CMD_UNICAST_SET, 3, 1, "three");
    AppendText(set, TLV_LOCATION, "somewhere");
    for (std::size_t n = 0; n <= set.size(); ++n)
        unicast.Send(std::span<const uint8_t>(set).first(n), Agent(3), kAgentPort);
    std::mt19937 random(1234);
    for (int i = 0; i < 300; ++i) {
        std::vector<uint8_t> junk(random() % 600);
        for (uint8_t& b : junk)
            b = static_cast<uint8_t>(random());
        if (junk.size() >= 4 && i % 2)
            junk[1] = static_cast<uint8_t>(i % 6); // TFTP opcodes too
        unicast.Send(junk, Agent(3), i % 3 ? kAgentPort : 69);
    }
    unicast.Collect(10000, 1000); // drain whatever was answered
    EXPECT_GT(sim.Count("BAD "), 30);

    ASSERT_TRUE(unicast.Send(Request(CMD_POLL), Agent(3), kAgentPort));
    const auto replies = unicast.Collect(1, 2000);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].src, Agent(3));
}

TEST_F(AgentSimLan, TwoThousandAgentsAllAnswerOneDiscovery) {
    StartSim({"", 2000, {}});
    PlainSocket broadcast(kBroadcastPort);
    ASSERT_TRUE(broadcast.Bound());
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(broadcast.Send(Request(CMD_DISCOVERY), 0xFFFFFFFF, kAgentPort));
    const auto replies = broadcast.Collect(2000, 20000);
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(replies.size(), 2000u);
    std::set<uint32_t> senders;
    for (const Received& r : replies) {
        senders.insert(r.src);
        EXPECT_EQ(Decoded(r).ip, r.src);
    }
    EXPECT_EQ(senders.size(), 2000u);
    EXPECT_TRUE(senders.count(Agent(1)));
    EXPECT_LT(took, std::chrono::seconds(20));
}

} // namespace
