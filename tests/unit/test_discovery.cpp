#include "protocol/discovery/Discovery.h"

#include "RecordingSender.h"
#include "protocol/words/OutcomeWords.h"
#include "support/CoreState.h"
#include "support/RecordingEvents.h"

#include <gtest/gtest.h>

#include <optional>

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
    CoreState state;
    std::vector<std::string> log;
    RecordingSender sender{state.tables, log};
    RecordingLists lists{state.tables, log};
    RecordingEvents events;
    // What the sent callback was handed, once per call.
    std::vector<std::optional<SendFailure>> sent_calls;

    void Discover() {
        OnDiscovery(state.settings, state.tables, sender, lists, events,
                    [this](std::optional<SendFailure> failure) {
                        sent_calls.push_back(failure);
                        log.push_back("sent");
                    });
    }

    Rig() {
        state.settings.utility_id = 0x1234ABCD;
        state.settings.base_port = 500;
        state.settings.multicast_group = "239.255.255.250";
        state.tables.monitor.Append(Monitored("10.0.0.1", 1, 4));      // answered since last time
        state.tables.monitor.Append(Monitored("10.0.0.2", 0, 2));      // silent
        state.tables.monitor.records[2] = Monitored("10.0.0.3", 0, 9); // beyond count(): not in use
        for (int i = 0; i < 3; ++i) {
            DeviceRecord r = ZeroRecord();
            SetFieldText(r.mac_text, "0011223344a" + std::to_string(i));
            r.row_state = kRowKnown;
            state.tables.discovery.Append(r);
        }
    }

    void ExpectDiscoveryEmpty() {
        EXPECT_EQ(state.tables.discovery.count(), 0);
        for (const DeviceRecord& r : state.tables.discovery.records)
            ASSERT_EQ(FieldText(r.mac_text), "");
    }
};

TEST(Discovery, SendsBroadcastThenMulticastAfterAccountingRowsAndRejoin) {
    Rig t;
    t.Discover();

    EXPECT_EQ(t.log, (std::vector<std::string>{"clear rows", "rejoin", "enable broadcast",
                                               "send broadcast", "send multicast", "sent"}));
    // The accounting had run when the rows were cleared.
    ASSERT_EQ(t.lists.missed_at_clear.size(), 1u);
    EXPECT_EQ(t.lists.missed_at_clear[0], (std::vector<int>{0, 3}));
    EXPECT_EQ(t.state.tables.monitor.records[0].reply_flag, 0);
    EXPECT_EQ(t.state.tables.monitor.records[0].missed_polls, 0);
    EXPECT_EQ(t.state.tables.monitor.records[1].missed_polls, 3);
    EXPECT_EQ(t.state.tables.monitor.records[2].missed_polls, 9);
    EXPECT_EQ(t.state.tables.monitor.count(), 2);

    EXPECT_EQ(t.sender.sent,
              (std::vector<SentDatagram>{
                  {SocketKind::Broadcast, kDiscoveryRequest, 0xFFFFFFFF, kAgentPort, 0},
                  {SocketKind::Multicast, kDiscoveryRequest, kGroup, kAgentPort, 0}}));
    t.ExpectDiscoveryEmpty();
    EXPECT_EQ(t.events.order, std::vector<std::string>{});
    EXPECT_EQ(t.sent_calls, (std::vector<std::optional<SendFailure>>{std::nullopt}));
}

TEST(Discovery, FailuresStopWithTheirMessage) {
    struct Case {
        const char* name;
        bool broadcast_allowed;
        std::set<SocketKind> failing;
        std::string group;
        std::vector<std::string> log_after_clear;
        SendFailure failure;
        const char* message; // the window's words for it
    };
    const std::vector<std::string> head = {"clear rows", "rejoin", "enable broadcast"};
    const Case cases[] = {
        {"broadcast refused",
         false,
         {},
         "239.255.255.250",
         {},
         {SendKind::BroadcastOption, 13},
         "Set socketopt error"},
        {"broadcast send fails, no multicast copy",
         true,
         {SocketKind::Broadcast},
         "239.255.255.250",
         {"send broadcast"},
         {SendKind::Discovery, 13},
         "Discovery sento fail"},
        {"multicast send fails",
         true,
         {SocketKind::Multicast},
         "239.255.255.250",
         {"send broadcast", "send multicast"},
         {SendKind::Discovery, 13},
         "Discovery sento fail"},
        // No send failed: no error code to give.
        {"no valid group to send to",
         true,
         {},
         "",
         {"send broadcast"},
         {SendKind::Discovery, 0},
         "Discovery sento fail"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig t;
        t.sender.broadcast_allowed = c.broadcast_allowed;
        t.sender.failing = c.failing;
        t.sender.error_code = 13;
        t.state.settings.multicast_group = c.group;
        // The report comes before the sent callback.
        t.events.while_reporting = [&t] { t.log.push_back("reported"); };

        t.Discover();

        std::vector<std::string> expected_log = head;
        expected_log.insert(expected_log.end(), c.log_after_clear.begin(), c.log_after_clear.end());
        expected_log.insert(expected_log.end(), {"reported", "sent"});
        EXPECT_EQ(t.log, expected_log);
        EXPECT_EQ(t.events.send_failures, std::vector<SendFailure>{c.failure});
        EXPECT_EQ(t.sent_calls, (std::vector<std::optional<SendFailure>>{c.failure}));
        std::string storage;
        EXPECT_EQ(SendFailureMessage(c.failure, storage),
                  (Message{c.message, "Error", MessageIcon::Error}));
        // Rows and records go together: no record is left without its row.
        t.ExpectDiscoveryEmpty();
        // A discovery counts as a poll even when it fails afterwards.
        EXPECT_EQ(t.state.tables.monitor.records[1].missed_polls, 3);
    }
}

TEST(Discovery, EachPressRepeatsTheWholeSequence) {
    Rig t;
    t.Discover();
    t.Discover();

    EXPECT_EQ(t.sender.rejoins, 2);
    EXPECT_EQ(t.lists.clears, 2);
    ASSERT_EQ(t.sender.sent.size(), 4u);
    EXPECT_EQ(t.sender.sent[2].bytes, kDiscoveryRequest);
    EXPECT_EQ(t.sender.sent[3].address, kGroup);
    // The second press saw no reply in between: the silent device is one
    // step nearer the threshold, the other one starts counting.
    EXPECT_EQ(t.state.tables.monitor.records[0].missed_polls, 1);
    EXPECT_EQ(t.state.tables.monitor.records[1].missed_polls, 4);
    EXPECT_EQ(t.sent_calls.size(), 2u);
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
