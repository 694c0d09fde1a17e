// Set requests: the datagram of each variant against literal bytes laid out
// from the header and field tables, and where and how often it is sent.
#include "protocol/set/SetExchange.h"
#include "support/CoreState.h"
#include "support/SetRequestBytes.h"
#include "unit/RecordingSender.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace kestrel;

namespace {

using set_bytes::Bytes;
using set_bytes::Cat;

// Requests in these tests carry sequence 0x1234.
Bytes Header(uint8_t command, bool dhcp_refresh = false) {
    return set_bytes::Header(command, dhcp_refresh, 0x1234);
}

const Bytes kPassword = {0x00, 0x09, 0x00, 0x06, 'p', 'w'};
const Bytes kProduct = {0x00, 0x01, 0x00, 0x06, 'P', '1'};
const Bytes kSystem = {0x00, 0x02, 0x00, 0x07, 's', 'y', 's'};
const Bytes kLocation = {0x00, 0x03, 0x00, 0x07, 'l', 'o', 'c'};
const Bytes kIp = {0x00, 0x04, 0x00, 0x08, 10, 0, 0, 5};
const Bytes kGateway = {0x00, 0x06, 0x00, 0x08, 10, 0, 0, 1};
const Bytes kTrap = {0x00, 0x07, 0x00, 0x08, 10, 0, 0, 9};
const Bytes kMask = {0x00, 0x05, 0x00, 0x08, 255, 255, 255, 0};
const Bytes kZeroIp = {0x00, 0x04, 0x00, 0x08, 0, 0, 0, 0};
const Bytes kZeroGateway = {0x00, 0x06, 0x00, 0x08, 0, 0, 0, 0};
const Bytes kZeroMask = {0x00, 0x05, 0x00, 0x08, 0, 0, 0, 0};
const Bytes kDhcpOff16 = {0x00, 0x0a, 0x00, 0x06, 0x00, 0x00};
const Bytes kDhcpOn16 = {0x00, 0x0a, 0x00, 0x06, 0x00, 0x01};
const Bytes kGroup300 = {0x00, 0x16, 0x00, 0x08, 0x00, 0x00, 0x01, 0x2c};
const Bytes kNewPassword = {0x00, 0x08, 0x00, 0x07, 'n', 'e', 'w'};

constexpr uint32_t kPendingBefore = 0x01020304;

CoreState State() {
    CoreState state;
    state.settings.utility_id = 0x4B455354;
    state.settings.base_port = 5010;
    state.settings.multicast_group = "239.255.255.250";
    state.exchange.sequence = 0x1234;
    state.exchange.pending_ip = kPendingBefore;
    state.exchange.pending_mac = "ffffffffffff";
    return state;
}

AgentList ListOf(bool in_monitor) {
    return in_monitor ? AgentList::Monitor : AgentList::Discovery;
}

DeviceRecord Working(uint32_t mask, uint16_t dhcp_state = kDhcpNotReported,
                     int32_t group_interval = -1) {
    DeviceRecord r = ZeroRecord();
    SetFieldText(r.mac_text, "0a1b2c3d4e5f");
    SetFieldText(r.password, "pw");
    SetFieldText(r.product_name, "P1");
    SetFieldText(r.system_name, "sys");
    SetFieldText(r.location, "loc");
    r.ip = 0x0A000005;
    r.gateway = 0x0A000001;
    r.trap_ip = 0x0A000009;
    r.subnet_mask = 0xFFFFFF00;
    r.dhcp_state = dhcp_state;
    r.group_interval = group_interval;
    r.field_mask[0] = mask;
    return r;
}

struct DatagramCase {
    const char* name;
    bool target_in_monitor;
    SetVariant variant;
    DeviceRecord working;
    DhcpChange change;
    Bytes expected;
    uint32_t pending_ip_after;
};

} // namespace

TEST(SetRequestDatagram, EachVariantHeaderFieldOrderAndMask) {
    DeviceRecord with_new_password = Working(0x1FF);
    SetFieldText(with_new_password.new_password, "new");
    // Type 8 is bit 7 of the mask.
    DeviceRecord new_password_not_allowed = with_new_password;
    new_password_not_allowed.field_mask[0] = 0x1FF & ~0x80u;
    DeviceRecord empty_password = Working(0x2003FF, kDhcpEnabled, 300);
    SetFieldText(empty_password.password, "");
    // The working record of the Configuration setting dialog keeps interface
    // version 0, so TLV_DHCP goes 16 bits wide.
    const DatagramCase cases[] = {
        {"configuration, discovery list, nine-bit mask", false, SetVariant::Configuration,
         Working(0x1FF), DhcpChange::Untouched,
         Cat({Header(3), kPassword, kProduct, kSystem, kLocation, kIp, kGateway, kTrap, kMask}),
         0x0A000005},
        {"configuration, monitor list", true, SetVariant::Configuration, Working(0x1FF),
         DhcpChange::Untouched,
         Cat({Header(7), kPassword, kProduct, kSystem, kLocation, kIp, kGateway, kTrap, kMask}),
         0x0A000005},
        {"DHCP switched off, group interval sent", true, SetVariant::Configuration,
         Working(0x2003FF, kDhcpDisabled, 300), DhcpChange::SwitchOff,
         Cat({Header(7), kPassword, kProduct, kSystem, kLocation, kIp, kGateway, kTrap, kMask,
              kDhcpOff16, kGroup300}),
         0x0A000005},
        {"DHCP switched on: addresses zero, trap kept, pending address still set", false,
         SetVariant::Configuration, Working(0x2003FF, kDhcpEnabled, 300), DhcpChange::SwitchOn,
         Cat({Header(3), kPassword, kProduct, kSystem, kLocation, kZeroIp, kZeroGateway, kTrap,
              kZeroMask, kDhcpOn16, kGroup300}),
         0x0A000005},
        {"DHCP unchanged: no TLV_DHCP", false, SetVariant::Configuration,
         Working(0x3FF, kDhcpEnabled), DhcpChange::Untouched,
         Cat({Header(3), kPassword, kProduct, kSystem, kLocation, kIp, kGateway, kTrap, kMask}),
         0x0A000005},
        {"group interval -1 omitted although allowed", false, SetVariant::Configuration,
         Working(0x200000 | 0x100, kDhcpNotReported, -1), DhcpChange::Untouched,
         Cat({Header(3), kPassword}), kPendingBefore},
        {"mask without the address bit: no address, pending address kept", false,
         SetVariant::Configuration, Working(0x1FF & ~0x8u), DhcpChange::Untouched,
         Cat({Header(3), kPassword, kProduct, kSystem, kLocation, kGateway, kTrap, kMask}),
         kPendingBefore},
        {"empty mask: header only", true, SetVariant::Configuration, Working(0),
         DhcpChange::SwitchOff, Header(7), kPendingBefore},
        {"password change", true, SetVariant::Password, with_new_password, DhcpChange::Untouched,
         Cat({Header(7), kPassword, kNewPassword}), kPendingBefore},
        {"password change by broadcast", false, SetVariant::Password, with_new_password,
         DhcpChange::SwitchOn, Cat({Header(3), kPassword, kNewPassword}), kPendingBefore},
        {"password change, mask without the new-password bit: current password only", true,
         SetVariant::Password, new_password_not_allowed, DhcpChange::Untouched,
         Cat({Header(7), kPassword}), kPendingBefore},
        {"DHCP refresh by broadcast, empty password as a bare 4-byte field", false,
         SetVariant::DhcpRefresh, empty_password, DhcpChange::Untouched,
         Cat({Header(3, true),
              {0x00, 0x09, 0x00, 0x04},
              kProduct,
              kSystem,
              kLocation,
              kZeroIp,
              kZeroGateway,
              kTrap,
              kZeroMask,
              kDhcpOn16,
              kGroup300}),
         0x0A000005},
        {"DHCP refresh switches on whatever it is given", true, SetVariant::DhcpRefresh,
         Working(0x3FF, kDhcpEnabled), DhcpChange::Untouched,
         Cat({Header(7, true), kPassword, kProduct, kSystem, kLocation, kZeroIp, kZeroGateway,
              kTrap, kZeroMask, kDhcpOn16}),
         0x0A000005},
    };
    for (const DatagramCase& c : cases) {
        SCOPED_TRACE(c.name);
        CoreState state = State();

        const Bytes datagram =
            BuildSetRequest(state.exchange, state.settings, ListOf(c.target_in_monitor), c.variant,
                            {c.working, c.change});

        EXPECT_EQ(datagram, c.expected);
        EXPECT_EQ(state.exchange.pending_mac, "0a1b2c3d4e5f");
        EXPECT_EQ(state.exchange.pending_ip, c.pending_ip_after);
        EXPECT_EQ(state.exchange.sequence, 0x1234) << "sending does not advance the sequence";
    }
}

TEST(SetRequestDatagram, InterfaceVersionOneRecordGetsOneByteDhcp) {
    CoreState state = State();
    DeviceRecord working = Working(0x200, kDhcpEnabled);
    working.interface_version = 1;
    const Bytes datagram =
        BuildSetRequest(state.exchange, state.settings, AgentList::Discovery,
                        SetVariant::Configuration, {working, DhcpChange::SwitchOn});
    EXPECT_EQ(datagram, Cat({Header(3), {0x00, 0x0a, 0x00, 0x05, 0x01}}));
}

namespace {

struct Sent {
    SocketKind from;
    uint32_t address;
    uint16_t port;
};

class SetSendTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Two monitored agents: 0 answered since the last accounting, 1 did not.
        for (const uint32_t ip : {0xC6120101u, 0xC6120102u}) {
            DeviceRecord r = ZeroRecord();
            r.ip = ip;
            ASSERT_TRUE(state.tables.monitor.Append(r));
        }
        state.tables.monitor.records[0].reply_flag = 1;
        state.tables.monitor.records[0].missed_polls = 2;
        state.tables.monitor.records[1].missed_polls = 2;
    }

    std::optional<SendFailure> Send(const ChosenAgent& agent, SetVariant variant,
                                    const DeviceRecord& working) {
        const SetLink link{state.settings, state.exchange, state.tables, sender};
        return SendSetRequest(link, agent, variant, {working, DhcpChange::Untouched});
    }

    CoreState state = State();
    std::vector<std::string> log;
    RecordingSender sender{state.tables, log};
    // Its request goes by broadcast; SendSetRequest does not read its record.
    const ChosenAgent discovery_agent{AgentList::Discovery, 0};
};

} // namespace

TEST_F(SetSendTest, MonitorListAgentGetsOneUnicastToItsCurrentAddress) {
    DeviceRecord working = Working(0x1FF);
    working.ip = 0xC6120163; // the new address it is asked to take

    EXPECT_EQ(Send({AgentList::Monitor, 1}, SetVariant::Configuration, working), std::nullopt);

    ASSERT_EQ(sender.sent.size(), 1u);
    EXPECT_EQ(sender.sent[0].from, SocketKind::Unicast);
    EXPECT_EQ(sender.sent[0].address, 0xC6120102u);
    EXPECT_EQ(sender.sent[0].port, 5012);
    EXPECT_EQ(Bytes(sender.sent[0].bytes.begin() + 40, sender.sent[0].bytes.begin() + 48),
              Bytes({0x00, 0x09, 0x00, 0x06, 'p', 'w', 0x00, 0x01}));
    EXPECT_EQ(state.exchange.pending_ip, 0xC6120163u);
    // Only the target counts a poll.
    EXPECT_EQ(state.tables.monitor.records[1].missed_polls, 3);
    EXPECT_EQ(state.tables.monitor.records[0].missed_polls, 2);
    EXPECT_EQ(state.tables.monitor.records[0].reply_flag, 1);
    EXPECT_EQ(sender.rejoins, 0) << "the dialog re-joins, not the send";
}

TEST_F(SetSendTest, DiscoveryListAgentGetsTheSameDatagramByBroadcastThenMulticast) {
    EXPECT_EQ(Send(discovery_agent, SetVariant::Configuration, Working(0x1FF)), std::nullopt);

    ASSERT_EQ(sender.sent.size(), 2u);
    EXPECT_EQ(sender.sent[0].from, SocketKind::Broadcast);
    EXPECT_EQ(sender.sent[0].address, 0xFFFFFFFFu);
    EXPECT_EQ(sender.sent[1].from, SocketKind::Multicast);
    EXPECT_EQ(sender.sent[1].address, 0xEFFFFFFAu);
    EXPECT_EQ(sender.sent[0].port, 5012);
    EXPECT_EQ(sender.sent[1].port, 5012);
    EXPECT_EQ(sender.sent[0].bytes, sender.sent[1].bytes);
    EXPECT_EQ(sender.sent[0].bytes[13], CMD_SET);
    // Every monitored agent counts a poll.
    EXPECT_EQ(state.tables.monitor.records[0].missed_polls, 0);
    EXPECT_EQ(state.tables.monitor.records[0].reply_flag, 0);
    EXPECT_EQ(state.tables.monitor.records[1].missed_polls, 3);
}

TEST_F(SetSendTest, TwoRequestsWithoutAnswersCarryTheSameSequence) {
    for (int i = 0; i < 2; ++i)
        Send(discovery_agent, SetVariant::Password, Working(0x100));
    ASSERT_EQ(sender.sent.size(), 4u);
    for (const SentDatagram& d : sender.sent) {
        EXPECT_EQ(d.bytes[26], 0x12);
        EXPECT_EQ(d.bytes[27], 0x34);
    }
}

TEST_F(SetSendTest, FailedSendIsReturnedWithItsKindAndSendsNothingMore) {
    const struct {
        const char* name;
        bool in_monitor;
        SetVariant variant;
        SocketKind failing;
        const char* group;
        std::size_t attempts;
        SendKind kind;
    } cases[] = {
        {"unicast", true, SetVariant::Configuration, SocketKind::Unicast, "239.255.255.250", 1,
         SendKind::SetUnicast},
        {"unicast refresh", true, SetVariant::DhcpRefresh, SocketKind::Unicast, "239.255.255.250",
         1, SendKind::SetUnicast},
        {"unicast password", true, SetVariant::Password, SocketKind::Unicast, "239.255.255.250", 1,
         SendKind::PasswordUnicast},
        {"broadcast: no multicast copy", false, SetVariant::Configuration, SocketKind::Broadcast,
         "239.255.255.250", 1, SendKind::SetBroadcast},
        {"broadcast password", false, SetVariant::Password, SocketKind::Broadcast,
         "239.255.255.250", 1, SendKind::SetBroadcast},
        {"multicast", false, SetVariant::Password, SocketKind::Multicast, "239.255.255.250", 2,
         SendKind::SetBroadcast},
        {"no valid group", false, SetVariant::Configuration, SocketKind::Unicast, "", 1,
         SendKind::SetBroadcast},
    };
    int error_code = 100;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        state.settings.multicast_group = c.group;
        sender.sent.clear();
        sender.failing = {c.failing};
        sender.error_code = ++error_code;

        const std::optional<SendFailure> failure =
            Send({ListOf(c.in_monitor), 0}, c.variant, Working(0x1FF));

        EXPECT_EQ(sender.sent.size(), c.attempts);
        EXPECT_EQ(failure, (SendFailure{c.kind, error_code}));
    }
}
