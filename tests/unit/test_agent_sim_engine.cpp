// The simulated agents' behaviour without sockets: requests in, outbox out.
#include "AgentConfig.h"
#include "Misbehaviour.h"
#include "SimEngine.h"
#include "TftpReceiver.h"

#include "protocol/wire/ByteOrder.h"
#include "protocol/wire/TlvCodec.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <optional>
#include <set>

#include <net/if.h>

using namespace kestrel;
using namespace kestrel::sim;

namespace {

constexpr uint32_t kId = 0x4B455354;
constexpr uint32_t kWorkstation = 0xC6120001;
constexpr uint16_t kAgentPort = 5012;

std::vector<uint8_t> Targeted(uint16_t command, const MacBytes& mac, uint16_t seq,
                              bool dhcp_refresh = false) {
    std::vector<uint8_t> out(kHeaderSize);
    BuildTargetedHeader(std::span<uint8_t, kHeaderSize>(out.data(), kHeaderSize),
                        {command, mac, kId, seq, dhcp_refresh});
    return out;
}

void AddText(std::vector<uint8_t>& out, uint16_t type, std::string_view text) {
    const std::size_t at = out.size();
    out.resize(at + 4);
    PutU16(out, at, type);
    PutU16(out, at + 2, static_cast<uint16_t>(text.size() + 4));
    out.insert(out.end(), text.begin(), text.end());
}

void AddU32(std::vector<uint8_t>& out, uint16_t type, uint32_t value) {
    const std::size_t at = out.size();
    out.resize(at + 8);
    PutU16(out, at, type);
    PutU16(out, at + 2, 8);
    PutU32(out, at + 4, value);
}

void AddU16(std::vector<uint8_t>& out, uint16_t type, uint16_t value) {
    const std::size_t at = out.size();
    out.resize(at + 6);
    PutU16(out, at, type);
    PutU16(out, at + 2, 6);
    PutU16(out, at + 4, value);
}

// The value of the first TLV field of `type` in a datagram, if any.
std::optional<std::vector<uint8_t>> Field(const std::vector<uint8_t>& bytes, uint16_t type) {
    const ByteReader in(bytes);
    for (std::size_t at = kHeaderSize; in.Has(at, 4);) {
        const uint16_t t = *in.U16(at);
        const uint16_t len = *in.U16(at + 2);
        if (len < 4 || !in.Has(at, len))
            return std::nullopt;
        if (t == type)
            return std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                        bytes.begin() + static_cast<std::ptrdiff_t>(at + len));
        at += len;
    }
    return std::nullopt;
}

uint32_t U32Of(const std::vector<uint8_t>& value) {
    return ByteReader(value).U32(0).value_or(0);
}

class Engine : public ::testing::Test {
protected:
    void Make(std::string_view file, int count = 0) {
        AgentList list = BuildAgents(file, count, kId);
        ASSERT_TRUE(list.error.empty()) << list.error;
        engine = std::make_unique<SimEngine>(
            SimOptions{}, std::move(list.agents),
            [this](const std::string& l) { lines.push_back(l); }, now);
    }
    const AgentSettings& At(std::size_t i) { return engine->Agents()[i].s; }
    std::vector<Outgoing> Send(const std::vector<uint8_t>& bytes, uint32_t dst) {
        engine->OnAgentDatagram(bytes, kWorkstation, 5011, dst, now);
        return engine->TakeOutbox();
    }
    bool Logged(const std::string& text) {
        for (const auto& l : lines)
            if (l.find(text) != std::string::npos)
                return true;
        return false;
    }
    int Count(const std::string& text) {
        return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const auto& l) {
            return l.find(text) != std::string::npos;
        }));
    }

    Millis now = 1000000;
    std::unique_ptr<SimEngine> engine;
    std::vector<std::string> lines;
};

TEST(AgentConfig, LinesAndTheirErrors) {
    struct Case {
        const char* text;
        const char* error; // "" when valid
    };
    const Case cases[] = {
        {"ip=198.18.1.9 name=\"two words\" iface=1 dhcp=none # note", ""},
        {"agent mac=02:00:00:00:00:09 mask=0x1ff,0,0,0xE0000000 group=300", ""},
        {"ip=198.18.1.300", "bad value for ip"},
        {"colour=blue", "unknown key: colour"},
        {"name=\"open", "unterminated quote"},
        {"name=abcdefghijklmnopqrstu", "name longer than 20 characters"},
        {"ip=198.18.1.9\nip=198.18.1.9", "line 2: duplicate"},
        {"mac=0200000000", "bad value for mac"},
        {"dhcp=2", "bad value for dhcp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const AgentList list = BuildAgents(c.text, 0, kId);
        if (*c.error == 0) {
            EXPECT_EQ(list.error, "");
            EXPECT_EQ(list.agents.size(), 1u);
        } else {
            EXPECT_NE(list.error.find(c.error), std::string::npos) << list.error;
        }
    }
    const AgentList one = BuildAgents("ip=198.18.1.9 name=\"two words\" iface=1 dhcp=none", 0, kId);
    ASSERT_EQ(one.agents.size(), 1u);
    EXPECT_EQ(one.agents[0].s.system_name, "two words");
    EXPECT_EQ(one.agents[0].s.field_mask[0], 0x1FFu);
    EXPECT_EQ(one.agents[0].s.dhcp, DhcpReport::NotReported);
}

TEST(AgentConfig, GeneratedAgentsAreDistinctAndAvoidNamedAddresses) {
    // The file names 198.18.1.2; no generated agent may take it.
    const AgentList list = BuildAgents("ip=198.18.1.2\n\nname=x\n", 600, kId);
    ASSERT_EQ(list.error, "");
    ASSERT_EQ(list.agents.size(), 602u);
    std::set<uint32_t> ips;
    std::set<MacBytes> macs;
    std::set<uint16_t> versions;
    for (const Agent& a : list.agents) {
        ips.insert(a.s.ip);
        macs.insert(a.s.mac);
        versions.insert(a.s.interface_version);
        EXPECT_NE(a.s.ip & 0xFF, 0u);
        EXPECT_NE(a.s.ip & 0xFF, 255u);
        // Plainly simulated, never what could pass for a vendor's model.
        EXPECT_EQ(a.s.product_name.rfind("Kestrel sim agent", 0), 0u) << a.s.product_name;
        EXPECT_LE(a.s.product_name.size(), 40u);
    }
    EXPECT_EQ(ips.size(), 602u);
    EXPECT_EQ(macs.size(), 602u);
    EXPECT_EQ(versions, (std::set<uint16_t>{1, 2, 3}));
    EXPECT_EQ(list.agents[1].s.system_name, "x");
    EXPECT_NE(list.agents[1].s.ip, 0xC6120102u);
}

TEST_F(Engine, SetIsAuthorisedValidatedAndLimitedByTheMask) {
    Make("ip=198.18.1.1 mac=020000000001 iface=1 password=pw name=before\n");
    const MacBytes mac = At(0).mac;
    struct Case {
        const char* name;
        std::string password;
        std::string system_name;
        int status;
        const char* name_after;
    };
    const Case cases[] = {
        {"wrong password", "PW", "x", STATUS_PASSWORD_ERROR, "before"},
        {"password longer than stored", "pw-and-more", "x", STATUS_PASSWORD_ERROR, "before"},
        {"name too long", "pw", std::string(21, 'n'), STATUS_PARAMETER_ERROR, "before"},
        {"good", "pw", "renamed", STATUS_OK, "renamed"},
    };
    uint16_t seq = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto request = Targeted(CMD_UNICAST_SET, mac, ++seq);
        AddText(request, TLV_PASSWORD, c.password);
        AddText(request, TLV_SYSTEM_NAME, c.system_name);
        AddU32(request, TLV_GROUP_INTERVAL, 600); // not in an interface-1 mask
        const auto out = Send(request, At(0).ip);
        ASSERT_EQ(out.size(), 1u);
        const PacketHeader h = DecodeHeader(out[0].bytes);
        EXPECT_EQ(h.command, CMD_UNICAST_SET_REPLY);
        EXPECT_EQ(h.ReplyStatus(), c.status);
        EXPECT_EQ(h.sequence, seq);
        EXPECT_EQ(out[0].to, kWorkstation);
        EXPECT_EQ(out[0].port, 5011);
        EXPECT_EQ(At(0).system_name, c.name_after);
        EXPECT_EQ(At(0).group_interval, -1);
    }
    // Another MAC: not for this agent.
    auto other = Targeted(CMD_UNICAST_SET, {2, 0, 0, 0, 0, 9}, 1);
    AddText(other, TLV_PASSWORD, "pw");
    EXPECT_TRUE(Send(other, At(0).ip).empty());
}

TEST_F(Engine, SetSilentAgentIgnoresSetsButAnswersTheRest) {
    Make("ip=198.18.1.1 mac=020000000001 iface=3 dhcp=1 password=pw name=before set_silent=1\n");
    const MacBytes mac = At(0).mac;
    for (const uint16_t command : {CMD_SET, CMD_UNICAST_SET}) {
        SCOPED_TRACE(command);
        auto request = Targeted(command, mac, 7);
        AddText(request, TLV_PASSWORD, "pw");
        AddText(request, TLV_SYSTEM_NAME, "after");
        EXPECT_TRUE(Send(request, At(0).ip).empty());
        EXPECT_EQ(At(0).system_name, "before");
    }
    EXPECT_TRUE(Logged("SILENT 198.18.1.1 UNICAST_SET"));
    EXPECT_EQ(Send(Targeted(CMD_POLL, {}, 0), At(0).ip).size(), 1u);
    auto refresh = Targeted(CMD_UNICAST_SET, mac, 8, true);
    AddText(refresh, TLV_PASSWORD, "pw");
    EXPECT_EQ(Send(refresh, At(0).ip).size(), 1u);

    // Told to answer again, it takes the same request.
    ASSERT_TRUE(engine->OnControlLine("set 198.18.1.1 set_silent=0", now));
    auto request = Targeted(CMD_UNICAST_SET, mac, 9);
    AddText(request, TLV_PASSWORD, "pw");
    AddText(request, TLV_SYSTEM_NAME, "after");
    ASSERT_EQ(Send(request, At(0).ip).size(), 1u);
    EXPECT_EQ(At(0).system_name, "after");
}

TEST_F(Engine, SwitchingDhcpOnKeepsAddressesAndANewAddressMovesTheAgent) {
    Make("ip=198.18.1.1 mac=020000000001 iface=3 dhcp=0 password=pw\n"
         "ip=198.18.1.2 mac=020000000002\n");
    const uint32_t old_ip = At(0).ip;
    auto on = Targeted(CMD_SET, At(0).mac, 1);
    AddText(on, TLV_PASSWORD, "pw");
    AddU32(on, TLV_IP_ADDRESS, 0);
    AddU32(on, TLV_GATEWAY, 0);
    AddU32(on, TLV_SUBNET_MASK, 0);
    AddU16(on, TLV_DHCP, 1);
    ASSERT_EQ(Send(on, 0xFFFFFFFF).size(), 1u);
    EXPECT_EQ(At(0).dhcp, DhcpReport::Enabled);
    EXPECT_EQ(At(0).ip, old_ip);
    EXPECT_NE(At(0).subnet_mask, 0u);

    // An address another agent has is refused.
    auto clash = Targeted(CMD_UNICAST_SET, At(0).mac, 2);
    AddText(clash, TLV_PASSWORD, "pw");
    AddU32(clash, TLV_IP_ADDRESS, At(1).ip);
    auto out = Send(clash, old_ip);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(DecodeHeader(out[0].bytes).ReplyStatus(), STATUS_PARAMETER_ERROR);

    auto move = Targeted(CMD_UNICAST_SET, At(0).mac, 3);
    AddText(move, TLV_PASSWORD, "pw");
    AddU32(move, TLV_IP_ADDRESS, 0xC6120150);
    out = Send(move, old_ip);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].from, old_ip) << "answered from where the request arrived";
    EXPECT_EQ(At(0).ip, 0xC6120150u);
    EXPECT_TRUE(Send(Targeted(CMD_POLL, {}, 0), old_ip).empty());
    EXPECT_EQ(Send(Targeted(CMD_POLL, {}, 0), 0xC6120150).size(), 1u);
}

TEST_F(Engine, BroadcastAndMulticastCopiesOfOnePasswordChangeApplyOnce) {
    Make("ip=198.18.1.1 mac=020000000001 iface=2 password=old\n");
    auto change = Targeted(CMD_SET, At(0).mac, 9);
    AddText(change, TLV_PASSWORD, "old");
    AddText(change, TLV_NEW_PASSWORD, "new");
    const auto first = Send(change, 0xFFFFFFFF);
    const auto second = Send(change, 0xEFFFFFFA);
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(DecodeHeader(first[0].bytes).ReplyStatus(), STATUS_OK);
    EXPECT_EQ(second[0].bytes, first[0].bytes);
    EXPECT_EQ(At(0).password, "new");

    // Later, the same bytes are a new request with the old password.
    now += 10000;
    const auto late = Send(change, 0xFFFFFFFF);
    ASSERT_EQ(late.size(), 1u);
    EXPECT_EQ(DecodeHeader(late[0].bytes).ReplyStatus(), STATUS_PASSWORD_ERROR);
}

TEST_F(Engine, DhcpRefreshAndLoaderAndForeignAgents) {
    Make("ip=198.18.1.1 mac=020000000001 iface=3 dhcp=1 password=pw\n"
         "ip=198.18.1.2 mac=020000000002 iface=3 dhcp=1 dhcp_fail=1 password=pw\n"
         "ip=198.18.1.3 mac=020000000003 loader=1 password=pw\n"
         "ip=198.18.1.4 mac=020000000004 utility=0xABCDEF01\n");
    struct Case {
        std::size_t agent;
        int status;
    };
    for (const Case& c : {Case{0, STATUS_OK}, Case{1, STATUS_DHCP_REFRESH_FAIL}}) {
        auto refresh = Targeted(CMD_UNICAST_SET, At(c.agent).mac, 5, true);
        AddText(refresh, TLV_PASSWORD, "pw");
        AddU32(refresh, TLV_IP_ADDRESS, 0); // refresh requests carry zeros: not settings
        const auto out = Send(refresh, At(c.agent).ip);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(DecodeHeader(out[0].bytes).ReplyStatus(), c.status);
        EXPECT_GT(out[0].bytes.size(), kHeaderSize) << "status 0 and 6 carry the state";
        EXPECT_NE(At(c.agent).ip, 0u);
    }

    auto set = Targeted(CMD_SET, At(2).mac, 6);
    AddText(set, TLV_PASSWORD, "pw");
    auto out = Send(set, 0xFFFFFFFF);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(DecodeHeader(out[0].bytes).command, CMD_LOADER_REPLY);

    out = Send(Targeted(CMD_DISCOVERY, {}, 0), 0xEFFFFFFA);
    ASSERT_EQ(out.size(), 4u);
    for (const Outgoing& o : out)
        EXPECT_TRUE(o.paced);
    EXPECT_EQ(DecodeHeader(out[2].bytes).command, CMD_LOADER_REPLY);
    EXPECT_EQ(out[2].bytes.size(), kHeaderSize);
    EXPECT_EQ(DecodeHeader(out[3].bytes).utility_id, 0xABCDEF01u);
    EXPECT_EQ(DecodeHeader(out[0].bytes).utility_id, kId);
}

TEST_F(Engine, UpgradeStoresTheImageThenRebootsAndLeavesLoaderMode) {
    Make("ip=198.18.1.3 mac=020000000003 loader=1 password=pw reboot=2\n");
    const uint32_t ip = At(0).ip;
    auto trigger = Targeted(CMD_UPGRADE_TRIGGER, At(0).mac, 11);
    AddText(trigger, TLV_PASSWORD, "pw");
    auto out = Send(trigger, ip);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(DecodeHeader(out[0].bytes).command, CMD_UPGRADE_TRIGGER_REPLY);
    EXPECT_EQ(DecodeHeader(out[0].bytes).sequence, 11);

    const std::vector<uint8_t> wrq = {0, 2, 'f', 0, 'O', 'C', 'T', 'E', 'T', 0};
    engine->OnTftpDatagram(wrq, kWorkstation, 64517, ip, now);
    out = engine->TakeOutbox();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].channel, Channel::Tftp);
    EXPECT_EQ(out[0].bytes, TftpAck(0));
    // An empty file: block 1 carries nothing and ends the transfer.
    engine->OnTftpDatagram(std::vector<uint8_t>{0, 3, 0, 1}, kWorkstation, 64517, ip, now);
    out = engine->TakeOutbox();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].bytes, TftpAck(1));
    EXPECT_TRUE(Logged("TFTP 198.18.1.3 stored size=0 blocks=1"));

    engine->Tick(now += 1000);
    EXPECT_TRUE(Logged("STATE 198.18.1.3 rebooting seconds=2"));
    EXPECT_TRUE(Send(Targeted(CMD_DISCOVERY, {}, 0), 0xFFFFFFFF).empty());
    engine->Tick(now += 2000);
    out = Send(Targeted(CMD_DISCOVERY, {}, 0), 0xFFFFFFFF);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(DecodeHeader(out[0].bytes).command, CMD_DISCOVERY_REPLY);
}

TEST_F(Engine, TftpFaultsDropAnAckOnceAndEndWithAnError) {
    Make("ip=198.18.1.3 mac=020000000003 password=pw tftp_drop_ack=1 tftp_error_at=3 "
         "tftp_error_text=\"bad flash\"\n"
         "ip=198.18.1.4 mac=020000000004 password=pw tftp_error_at=0\n");
    const std::vector<uint8_t> wrq = {0, 2, 'f', 0, 'o', 'c', 't', 'e', 't', 0};
    for (int n : {0, 1}) {
        auto trigger = Targeted(CMD_UPGRADE_TRIGGER, At(n).mac, 1);
        AddText(trigger, TLV_PASSWORD, "pw");
        ASSERT_EQ(Send(trigger, At(n).ip).size(), 1u);
    }
    const uint32_t ip = At(0).ip;
    auto in = [&](std::vector<uint8_t> packet) {
        engine->OnTftpDatagram(packet, kWorkstation, 64517, ip, now);
        return engine->TakeOutbox();
    };
    std::vector<uint8_t> block1 = {0, 3, 0, 1};
    block1.resize(516, 0x11);
    std::vector<uint8_t> block2 = {0, 3, 0, 2};
    block2.resize(516, 0x22);
    const std::vector<uint8_t> block3 = {0, 3, 0, 3, 0x33};

    auto out = in(wrq);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].bytes, (std::vector<uint8_t>{0, 4, 0, 0}));
    EXPECT_TRUE(in(block1).empty()) << "the first ACK 1 is dropped";
    EXPECT_TRUE(Logged("TFTP 198.18.1.3 ack-dropped block=1"));
    out = in(block1); // resent: answered now, stored once
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].bytes, (std::vector<uint8_t>{0, 4, 0, 1}));
    out = in(block2);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].bytes, (std::vector<uint8_t>{0, 4, 0, 2}));
    out = in(block3);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].bytes,
              (std::vector<uint8_t>{0, 5, 0, 0, 'b', 'a', 'd', ' ', 'f', 'l', 'a', 's', 'h', 0}));
    EXPECT_TRUE(Logged("TFTP 198.18.1.3 error-sent block=3"));
    EXPECT_FALSE(Logged("stored"));
    // The transfer is over: block 3 again belongs to no transfer.
    out = in(block3);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].bytes[1], 5);
    EXPECT_TRUE(Logged("TFTP 198.18.1.3 error-sent block=3"));
    EXPECT_TRUE(Logged("TFTP 198.18.1.3 error reason=no-transfer"));

    // Block 0 stands for the write request.
    engine->OnTftpDatagram(wrq, kWorkstation, 64517, At(1).ip, now);
    out = engine->TakeOutbox();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].bytes,
              (std::vector<uint8_t>{0,   5,   0,   0,   'F', 'l', 'a', 's', 'h', ' ', 'w',
                                    'r', 'i', 't', 'e', ' ', 'e', 'r', 'r', 'o', 'r', 0}));
    EXPECT_TRUE(Logged("TFTP 198.18.1.4 error-sent block=0"));

    for (const char* word : {"tftp_drop_ack=-2", "tftp_drop_ack=65536", "tftp_error_at=x"}) {
        SCOPED_TRACE(word);
        AgentSettings s;
        EXPECT_NE(ApplySetting(s, word).find("bad value"), std::string::npos);
    }
    ASSERT_TRUE(engine->OnControlLine("show 198.18.1.3", now));
    EXPECT_TRUE(Logged("tftp_drop_ack=1 tftp_error_at=3 tftp_silent_at=-1 "
                       "tftp_error_text=\"bad flash\""));
}

TEST_F(Engine, TftpSilenceFromAGivenBlockOn) {
    Make("ip=198.18.1.3 mac=020000000003 password=pw tftp_silent_at=2\n"
         "ip=198.18.1.4 mac=020000000004 password=pw tftp_silent_at=0\n");
    for (int n : {0, 1}) {
        auto trigger = Targeted(CMD_UPGRADE_TRIGGER, At(n).mac, 1);
        AddText(trigger, TLV_PASSWORD, "pw");
        ASSERT_EQ(Send(trigger, At(n).ip).size(), 1u);
    }
    auto in = [&](int n, std::vector<uint8_t> packet) {
        engine->OnTftpDatagram(packet, kWorkstation, 64517, At(n).ip, now);
        return engine->TakeOutbox();
    };
    const std::vector<uint8_t> wrq = {0, 2, 'f', 0, 'o', 'c', 't', 'e', 't', 0};
    std::vector<uint8_t> block1 = {0, 3, 0, 1};
    block1.resize(516, 0x11);
    EXPECT_EQ(in(0, wrq).size(), 1u);
    EXPECT_EQ(in(0, block1).size(), 1u);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(in(0, {0, 3, 0, 2, 0x22}).empty());
    EXPECT_TRUE(in(0, {0, 3, 0, 3}).empty());
    EXPECT_EQ(Count("TFTP 198.18.1.3 ignored reason=silent-at block=2"), 3);
    EXPECT_EQ(Count("TFTP 198.18.1.3 ignored reason=silent-at block=3"), 1);

    EXPECT_TRUE(in(1, wrq).empty());
    EXPECT_TRUE(in(1, wrq).empty());
    EXPECT_EQ(Count("TFTP 198.18.1.4 ignored reason=silent-at block=0"), 2);
}

TEST_F(Engine, TimersAndControlLines) {
    Make("ip=198.18.1.1 mac=020000000001 silent_after=5 trap_every=3 trap_text=\"fan\"\n");
    engine->Tick(now += 3000);
    auto out = engine->TakeOutbox();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(DecodeHeader(out[0].bytes).command, CMD_TRAP);
    EXPECT_EQ(out[0].to, kWorkstation);
    EXPECT_EQ(out[0].port, 5011);
    engine->Tick(now += 2000);
    EXPECT_TRUE(Logged("STATE 198.18.1.1 silent"));
    engine->Tick(now += 1000);
    EXPECT_TRUE(engine->TakeOutbox().empty()) << "a silent agent sends no traps";

    EXPECT_TRUE(engine->OnControlLine("wake all", now));
    EXPECT_TRUE(engine->OnControlLine("set 198.18.1.1 trap=198.18.0.9 name=\"a b\"", now));
    EXPECT_TRUE(engine->OnControlLine("trap 198.18.1.1 door open", now));
    out = engine->TakeOutbox();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].to, 0xC6120009u);
    EXPECT_EQ(At(0).system_name, "a b");
    EXPECT_TRUE(engine->OnControlLine("launch 198.18.1.1", now));
    EXPECT_TRUE(Logged("CTL-ERROR unknown command: launch 198.18.1.1"));
    EXPECT_TRUE(engine->OnControlLine("set 198.18.1.1 iface=x", now));
    EXPECT_TRUE(Logged("CTL-ERROR bad value for iface"));
    EXPECT_FALSE(engine->OnControlLine("quit", now));
}

TEST(TftpReceiver, DataPacketsInAndAnswersOut) {
    struct Step {
        std::vector<uint8_t> packet;
        std::optional<std::vector<uint8_t>> answer;
    };
    std::vector<uint8_t> full = {0, 3, 0, 1};
    full.resize(4 + 512, 0xAB);
    std::vector<uint8_t> second = {0, 3, 0, 2, 1, 2, 3};
    const Step steps[] = {
        {{0, 3, 0, 2, 9}, std::nullopt}, // out of order
        {full, TftpAck(1)},
        {full, TftpAck(1)},              // duplicate: ACK again, not stored twice
        {{0, 3, 0, 3, 9}, std::nullopt}, // skips block 2
        {{0, 4, 0, 2}, std::nullopt},    // not DATA
        {{0, 3}, std::nullopt},          // truncated
        {second, TftpAck(2)},
        {second, TftpAck(2)}, // the last ACK was lost
    };
    TftpReceiver r("fw");
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(r.OnData(steps[i].packet), steps[i].answer);
    }
    EXPECT_TRUE(r.Complete());
    EXPECT_EQ(r.Image().size(), 515u);
    EXPECT_FALSE(r.OnRepeatedRequest().has_value());

    TftpReceiver oversized("fw");
    std::vector<uint8_t> big = {0, 3, 0, 1};
    big.resize(4 + 513);
    EXPECT_EQ(oversized.OnData(big), TftpErrorPacket(3, "Disk full or allocation exceeded"));
    EXPECT_TRUE(oversized.Failed());
}

TEST(TftpReceiver, WriteRequestParsing) {
    const auto good =
        ParseWriteRequest(std::vector<uint8_t>{0, 2, 'a', '/', 'b', 0, 'o', 'c', 't', 'e', 't', 0});
    ASSERT_TRUE(good);
    EXPECT_EQ(good->file_name, "a/b");
    EXPECT_EQ(good->mode, "octet");
    EXPECT_FALSE(ParseWriteRequest(std::vector<uint8_t>{0, 2, 'a', 0, 'o'})); // no final NUL
    EXPECT_FALSE(ParseWriteRequest(std::vector<uint8_t>{0, 1, 'a', 0, 'o', 0}));
    EXPECT_FALSE(ParseWriteRequest(std::vector<uint8_t>{0}));
}

} // namespace

// Every misbehaviour key, from the agents file and from a "set" line alike:
// what leaves for one unicast request, byte for byte.
TEST_F(Engine, MisbehavingAgentsChangeWhatTheySend) {
    constexpr uint32_t kOwn = 0xC6120101;   // 198.18.1.1
    constexpr uint32_t kOther = 0xC6120163; // 198.18.1.99
    enum class Ask { Poll, Set, Trigger };
    struct Case {
        const char* keys;
        Ask ask;
        std::size_t datagrams;
        int status;         // low 4 bits of every copy
        bool sequence_kept; // the request's sequence echoed
        uint32_t reported_ip;
    };
    const Case cases[] = {
        {"", Ask::Poll, 1, STATUS_OK, true, kOwn},
        {"dup=1", Ask::Poll, 2, STATUS_OK, true, kOwn},
        {"burst=5", Ask::Poll, 5, STATUS_OK, true, kOwn},
        {"burst=3 dup=1", Ask::Poll, 6, STATUS_OK, true, kOwn},
        {"burst=1", Ask::Poll, 1, STATUS_OK, true, kOwn},
        {"status=5", Ask::Poll, 1, STATUS_ACL_ERROR, true, kOwn},
        {"status=15", Ask::Set, 1, 15, true, kOwn},
        {"status=0", Ask::Set, 1, STATUS_OK, true, kOwn},
        {"wrong_seq=1", Ask::Set, 1, STATUS_OK, false, kOwn},
        {"wrong_seq=1", Ask::Trigger, 1, STATUS_OK, false, kOwn},
        {"wrong_seq=1", Ask::Poll, 1, STATUS_OK, true, kOwn},
        {"claim=198.18.1.99", Ask::Poll, 1, STATUS_OK, true, kOther},
        {"claim=198.18.1.99 dup=1 status=3", Ask::Poll, 2, STATUS_COMMAND_ERROR, true, kOther},
    };
    for (const bool by_set_line : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.keys) + (by_set_line ? " (set line)" : " (file)"));
            const std::string agent = "ip=198.18.1.1 mac=020000000001 iface=3 password=pw";
            if (by_set_line) {
                Make(agent);
                ASSERT_TRUE(engine->OnControlLine("set 198.18.1.1 " + std::string(c.keys), now));
                ASSERT_FALSE(Logged("CTL-ERROR"));
            } else {
                Make(agent + ' ' + c.keys);
            }
            const uint16_t seq = 0x1234;
            std::vector<uint8_t> request;
            if (c.ask == Ask::Poll) {
                request = Targeted(CMD_POLL, {}, seq);
            } else {
                request = Targeted(c.ask == Ask::Set ? CMD_UNICAST_SET : CMD_UPGRADE_TRIGGER,
                                   At(0).mac, seq);
                AddText(request, TLV_PASSWORD, "pw");
            }
            const auto out = Send(request, kOwn);
            ASSERT_EQ(out.size(), c.datagrams);
            for (const Outgoing& o : out) {
                EXPECT_EQ(o.bytes, out[0].bytes) << "copies are identical";
                EXPECT_EQ(o.from, kOwn) << "answers come from the agent's own address";
                EXPECT_EQ(o.to, kWorkstation);
            }
            const PacketHeader h = DecodeHeader(out[0].bytes);
            EXPECT_EQ(h.ReplyStatus(), c.status);
            EXPECT_EQ(h.sequence, c.sequence_kept ? seq : WrongSequence(seq));
            EXPECT_NE(WrongSequence(seq), seq);
            const auto ip = Field(out[0].bytes, TLV_IP_ADDRESS);
            ASSERT_TRUE(ip.has_value());
            EXPECT_EQ(U32Of(*ip), c.reported_ip);
            EXPECT_EQ(At(0).ip, kOwn);
        }
    }
}

TEST_F(Engine, MisbehaviourKeysRefuseBadValues) {
    const char* const bad[] = {"status=16",  "status=-2",    "burst=-1",    "burst=10001",
                               "delay_ms=x", "delay_ms=-5",  "claim=1.2.3", "dup=2",
                               "flap=-1",    "hostile=maybe"};
    for (const char* word : bad) {
        SCOPED_TRACE(word);
        AgentSettings s;
        EXPECT_NE(ApplySetting(s, word).find("bad value"), std::string::npos);
    }
    // "show" lists them, so a running agent can be checked.
    Make("ip=198.18.1.1 dup=1 delay_ms=250 reorder=1 wrong_seq=1 status=4 burst=3 "
         "claim=198.18.1.9 hostile=1 flap=7");
    ASSERT_TRUE(engine->OnControlLine("show 198.18.1.1", now));
    EXPECT_TRUE(Logged("dup=1 delay_ms=250 reorder=1 wrong_seq=1 status=4 burst=3 "
                       "claim=198.18.1.9 hostile=1 flap=7"));
}

TEST_F(Engine, DelayedAnswersWaitWithoutHoldingOthersBack) {
    Make("ip=198.18.1.1 delay_ms=300\nip=198.18.1.2\n");
    const Millis asked = now;
    EXPECT_TRUE(Send(Targeted(CMD_POLL, {}, 1), 0xC6120101).empty());
    EXPECT_EQ(engine->NextHeldDue(), asked + 300);
    // Another agent's answer is not held up by it.
    ASSERT_EQ(Send(Targeted(CMD_POLL, {}, 2), 0xC6120102).size(), 1u);
    engine->ReleaseHeld(now += 299);
    EXPECT_TRUE(engine->TakeOutbox().empty());
    engine->Tick(now += 1);
    const auto out = engine->TakeOutbox();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].from, 0xC6120101u);
    EXPECT_EQ(DecodeHeader(out[0].bytes).sequence, 1);
    EXPECT_FALSE(engine->NextHeldDue().has_value());
}

TEST_F(Engine, ReorderedAnswersLeaveInSwappedPairs) {
    Make("ip=198.18.1.1 reorder=1\n");
    auto sequences = [](const std::vector<Outgoing>& out) {
        std::vector<uint16_t> seqs;
        for (const Outgoing& o : out)
            seqs.push_back(DecodeHeader(o.bytes).sequence);
        return seqs;
    };
    EXPECT_TRUE(Send(Targeted(CMD_POLL, {}, 1), 0xC6120101).empty());
    EXPECT_EQ(sequences(Send(Targeted(CMD_POLL, {}, 2), 0xC6120101)),
              (std::vector<uint16_t>{2, 1}));
    EXPECT_TRUE(Send(Targeted(CMD_POLL, {}, 3), 0xC6120101).empty());
    EXPECT_EQ(sequences(Send(Targeted(CMD_POLL, {}, 4), 0xC6120101)),
              (std::vector<uint16_t>{4, 3}));

    // A lone answer leaves by itself after a while.
    EXPECT_TRUE(Send(Targeted(CMD_POLL, {}, 5), 0xC6120101).empty());
    engine->Tick(now += ReplyShaper::kLoneAnswerMs - 1);
    EXPECT_TRUE(engine->TakeOutbox().empty());
    engine->Tick(now += 1);
    EXPECT_EQ(sequences(engine->TakeOutbox()), (std::vector<uint16_t>{5}));

    // With a delay as well, the swapped pair leaves together, later.
    ASSERT_TRUE(engine->OnControlLine("set 198.18.1.1 delay_ms=100 dup=1", now));
    EXPECT_TRUE(Send(Targeted(CMD_POLL, {}, 6), 0xC6120101).empty());
    EXPECT_TRUE(Send(Targeted(CMD_POLL, {}, 7), 0xC6120101).empty());
    engine->Tick(now += 100);
    EXPECT_EQ(sequences(engine->TakeOutbox()), (std::vector<uint16_t>{7, 7, 6, 6}));
}

TEST_F(Engine, HostileTextsFillEveryFieldWithControlBytes) {
    Make("ip=198.18.1.1 iface=3 hostile=1 trap_text=\"fan\"\n");
    const std::string text = HostileText(kMaxTrapText);
    for (const char c : std::string("\x1b\b\f\r\n\x07") + '\0' + "\x80\x9f")
        EXPECT_NE(text.find(c), std::string::npos) << static_cast<int>(c);
    for (int c = 0x80; c <= 0x9F; ++c)
        EXPECT_NE(text.find(static_cast<char>(c)), std::string::npos) << c;

    const auto out = Send(Targeted(CMD_DISCOVERY, {}, 0), 0xFFFFFFFF);
    ASSERT_EQ(out.size(), 1u);
    struct Expect {
        uint16_t type;
        std::size_t length;
    };
    for (const Expect& e :
         {Expect{TLV_PRODUCT_NAME, kMaxProductName}, Expect{TLV_SYSTEM_NAME, kMaxSystemName},
          Expect{TLV_LOCATION, kMaxLocation}}) {
        SCOPED_TRACE(e.type);
        const auto value = Field(out[0].bytes, e.type);
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(std::string(value->begin(), value->end()), HostileText(e.length));
    }
    // The rest of the reply still reads as fields.
    ASSERT_TRUE(Field(out[0].bytes, TLV_FIELD_MASK).has_value());

    ASSERT_TRUE(engine->OnControlLine("trap 198.18.1.1", now));
    const auto trap = engine->TakeOutbox();
    ASSERT_EQ(trap.size(), 1u);
    ASSERT_EQ(trap[0].bytes.size(), kHeaderSize + 4 + kMaxTrapText + 1);
    EXPECT_EQ(std::string(trap[0].bytes.begin() + kHeaderSize + 4, trap[0].bytes.end() - 1), text);
    EXPECT_EQ(trap[0].bytes.back(), 0);
    for (const std::string& l : lines)
        EXPECT_EQ(l.find_first_of("\x1b\n\r"), std::string::npos) << l;
}

TEST_F(Engine, BurstLineAndFlappingAgents) {
    Make("ip=198.18.1.1 mac=020000000001 status=2\nip=198.18.1.2 flap=2\n");
    ASSERT_TRUE(engine->OnControlLine("burst 198.18.1.1 4", now));
    auto out = engine->TakeOutbox();
    ASSERT_EQ(out.size(), 4u);
    for (const Outgoing& o : out) {
        EXPECT_EQ(o.bytes, out[0].bytes);
        EXPECT_EQ(o.to, kWorkstation);
        EXPECT_EQ(o.port, 5010);
    }
    EXPECT_EQ(DecodeHeader(out[0].bytes).command, CMD_DISCOVERY_REPLY);
    EXPECT_EQ(DecodeHeader(out[0].bytes).ReplyStatus(), STATUS_PASSWORD_ERROR);
    for (const char* line : {"burst all 0", "burst all", "burst all 10001"}) {
        ASSERT_TRUE(engine->OnControlLine(line, now));
        EXPECT_TRUE(Logged(std::string("CTL-ERROR bad count: ") + line));
    }
    EXPECT_TRUE(engine->TakeOutbox().empty());

    // Answers, falls silent after 2 s, answers again 2 s later.
    const auto poll = Targeted(CMD_POLL, {}, 0);
    for (const std::size_t answers : {1u, 0u, 1u, 0u}) {
        EXPECT_EQ(Send(poll, 0xC6120102).size(), answers) << "at " << now;
        engine->Tick(now += 2000);
    }
    EXPECT_TRUE(engine->OnControlLine("set 198.18.1.2 flap=0 silent=0", now));
    engine->Tick(now += 10000);
    EXPECT_EQ(Send(poll, 0xC6120102).size(), 1u);
}

TEST_F(Engine, AnAgentBehindACardHearsBroadcastsOnlyFromThatCard) {
    // "lo" is there on every machine; the other index is any other.
    const int lo = static_cast<int>(if_nametoindex("lo"));
    ASSERT_NE(lo, 0);
    Make("ip=198.18.1.3 mac=020000000003 link=lo\nip=198.18.1.4 mac=020000000004\n");
    const auto heard = [&](uint32_t dst, int card) {
        engine->OnAgentDatagram(Targeted(CMD_DISCOVERY, {}, 0), kWorkstation, 5011, dst, now, card);
        std::vector<uint32_t> from;
        for (const Outgoing& o : engine->TakeOutbox())
            from.push_back(o.from);
        return from;
    };
    const uint32_t behind = 0xC6120103, anywhere = 0xC6120104;
    for (const uint32_t dst : {0xFFFFFFFFu, 0xEFFFFFFAu}) {
        EXPECT_EQ(heard(dst, lo), (std::vector<uint32_t>{behind, anywhere}));
        EXPECT_EQ(heard(dst, lo + 1000), std::vector<uint32_t>{anywhere});
        EXPECT_EQ(heard(dst, 0), (std::vector<uint32_t>{behind, anywhere})) << "card unknown";
    }
    // Unicast reaches it by any card.
    EXPECT_EQ(heard(behind, lo + 1000), std::vector<uint32_t>{behind});
    ASSERT_TRUE(engine->OnControlLine("show 198.18.1.3", now));
    EXPECT_TRUE(Logged("link=lo"));
}
