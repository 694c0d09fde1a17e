#include "protocol/discovery/Discovery.h"

#include "RecordingSender.h"
#include "support/FakeNotifier.h"

#include <gtest/gtest.h>

using namespace kestrel;

namespace {

using Bytes = std::vector<uint8_t>;

// CMD_DISCOVERY for utility identifier 0x1234ABCD, written from the header
// layout: protocol 2, sub-version 0, zero MAC, interface 0, command 1,
// status 0, utility id, everything else zero.
const Bytes kDiscoveryRequest = {
    0x00, 0x02, 0x00, 0x00,             // protocol version, sub-version
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // mac
    0x00, 0x00, 0x00, 0x01, 0x00, 0x00, // interface version, command, status
    0x12, 0x34, 0xAB, 0xCD,             // utility id
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // reserved
    0x00, 0x00,                         // sequence
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

constexpr uint32_t kGroup = 0xEFFFFFFA; // 239.255.255.250
constexpr uint16_t kAgentPort = 502;    // base port 500 + 2

DeviceRecord Monitored(const char* ip, int reply_flag, int missed) {
    DeviceRecord r = ZeroRecord();
    SetFieldText(r.ip_text, ip);
    r.ip = 1;
    r.row_state = kRowKnown;
    r.reply_flag = reply_flag;
    r.missed_polls = missed;
    r.status_image = kImageNone;
    return r;
}

struct Rig {
    ProgramState state;
    std::vector<std::string> log;
    RecordingSender sender{state, log};
    RecordingLists lists{state, log};
    FakeNotifier notifier;

    Rig() {
        state.settings.utility_id = 0x1234ABCD;
        state.settings.base_port = 500;
        state.settings.multicast_group = "239.255.255.250";
        state.monitor.Append(Monitored("10.0.0.1", 1, 4));      // answered since last time
        state.monitor.Append(Monitored("10.0.0.2", 0, 2));      // silent
        state.monitor.records[2] = Monitored("10.0.0.3", 0, 9); // beyond count(): not in use
        for (int i = 0; i < 3; ++i) {
            DeviceRecord r = ZeroRecord();
            SetFieldText(r.mac_text, "0011223344a" + std::to_string(i));
            r.row_state = kRowKnown;
            state.discovery.Append(r);
        }
    }

    void ExpectDiscoveryEmpty() {
        EXPECT_EQ(state.discovery.count(), 0);
        for (const DeviceRecord& r : state.discovery.records)
            ASSERT_EQ(FieldText(r.mac_text), "");
    }
};

TEST(Discovery, SendsBroadcastThenMulticastAfterAccountingRowsAndRejoin) {
    Rig t;
    OnDiscovery(t.state, t.sender, t.lists, t.notifier);

    EXPECT_EQ(t.log, (std::vector<std::string>{"clear rows", "rejoin", "enable broadcast",
                                               "send broadcast", "send multicast"}));
    // The accounting had run when the rows were cleared.
    ASSERT_EQ(t.lists.missed_at_clear.size(), 1u);
    EXPECT_EQ(t.lists.missed_at_clear[0], (std::vector<int>{0, 3}));
    EXPECT_EQ(t.state.monitor.records[0].reply_flag, 0);
    EXPECT_EQ(t.state.monitor.records[0].missed_polls, 0);
    EXPECT_EQ(t.state.monitor.records[1].missed_polls, 3);
    EXPECT_EQ(t.state.monitor.records[2].missed_polls, 9);
    EXPECT_EQ(t.state.monitor.count(), 2);

    EXPECT_EQ(t.sender.sent,
              (std::vector<SentDatagram>{
                  {SocketKind::Broadcast, kDiscoveryRequest, 0xFFFFFFFF, kAgentPort, 0},
                  {SocketKind::Multicast, kDiscoveryRequest, kGroup, kAgentPort, 0}}));
    t.ExpectDiscoveryEmpty();
    EXPECT_TRUE(t.notifier.shown.empty());
}

TEST(Discovery, FailuresStopWithTheirMessage) {
    struct Case {
        const char* name;
        bool broadcast_allowed;
        std::set<SocketKind> failing;
        std::string group;
        std::vector<std::string> log_after_clear;
        const char* message;
    };
    const std::vector<std::string> head = {"clear rows", "rejoin", "enable broadcast"};
    const Case cases[] = {
        {"broadcast refused", false, {}, "239.255.255.250", {}, "Set socketopt error"},
        {"broadcast send fails, no multicast copy",
         true,
         {SocketKind::Broadcast},
         "239.255.255.250",
         {"send broadcast"},
         "Discovery sento fail"},
        {"multicast send fails",
         true,
         {SocketKind::Multicast},
         "239.255.255.250",
         {"send broadcast", "send multicast"},
         "Discovery sento fail"},
        {"no valid group to send to", true, {}, "", {"send broadcast"}, "Discovery sento fail"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig t;
        t.sender.broadcast_allowed = c.broadcast_allowed;
        t.sender.failing = c.failing;
        t.state.settings.multicast_group = c.group;

        OnDiscovery(t.state, t.sender, t.lists, t.notifier);

        std::vector<std::string> expected_log = head;
        expected_log.insert(expected_log.end(), c.log_after_clear.begin(), c.log_after_clear.end());
        EXPECT_EQ(t.log, expected_log);
        EXPECT_EQ(t.notifier.shown,
                  (std::vector<ShownMessage>{{c.message, "Error", MessageIcon::Error}}));
        // Rows and records go together: no record is left without its row.
        t.ExpectDiscoveryEmpty();
        // A discovery counts as a poll even when it fails afterwards.
        EXPECT_EQ(t.state.monitor.records[1].missed_polls, 3);
    }
}

TEST(Discovery, EachPressRepeatsTheWholeSequence) {
    Rig t;
    OnDiscovery(t.state, t.sender, t.lists, t.notifier);
    OnDiscovery(t.state, t.sender, t.lists, t.notifier);

    EXPECT_EQ(t.sender.rejoins, 2);
    EXPECT_EQ(t.lists.clears, 2);
    ASSERT_EQ(t.sender.sent.size(), 4u);
    EXPECT_EQ(t.sender.sent[2].bytes, kDiscoveryRequest);
    EXPECT_EQ(t.sender.sent[3].address, kGroup);
    // The second press saw no reply in between: the silent device is one
    // step nearer the threshold, the other one starts counting.
    EXPECT_EQ(t.state.monitor.records[0].missed_polls, 1);
    EXPECT_EQ(t.state.monitor.records[1].missed_polls, 4);
}

TEST(MulticastGroupAddress, ParsesTheSettingsGroup) {
    ProtocolSettings s;
    EXPECT_EQ(MulticastGroupAddress(s), std::nullopt);
    s.multicast_group = "239.255.255.250";
    EXPECT_EQ(MulticastGroupAddress(s), 0xEFFFFFFAu);
    s.multicast_group = "239.255.255.2500";
    EXPECT_EQ(MulticastGroupAddress(s), std::nullopt);
}

} // namespace
