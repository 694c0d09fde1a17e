#include "protocol/dispatch/Dispatcher.h"

#include "protocol/wire/Ipv4Text.h"
#include "protocol/wire/PacketHeader.h"
#include "protocol/wire/TlvCodec.h"
#include "protocol/words/OutcomeWords.h"
#include "support/CoreState.h"
#include "support/FakeListHooks.h"
#include "support/RecordingEvents.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

using namespace kestrel;

namespace kestrel {

// Readable failures for the events.
void PrintTo(const AgentStored& s, std::ostream* os) {
    *os << (s.list == AgentList::Monitor ? "monitor " : "discovery ") << s.index
        << (s.added ? " added" : "") << (s.back ? " back" : "") << " command " << s.command
        << " from " << std::hex << s.sender_ip << std::dec;
}
void PrintTo(const StatusReply& r, std::ostream* os) {
    *os << "command " << r.command << " status " << r.status << " " << r.mac_text << " from "
        << std::hex << r.ip << std::dec;
}
void PrintTo(const SetConfirmation& c, std::ostream* os) {
    *os << c.mac_text << " at " << std::hex << c.ip << std::dec;
}

} // namespace kestrel

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kUtilityId = 0x4B455354;
constexpr uint32_t kSender = 0xC612000A; // 198.18.0.10
const MacBytes kMac = {0x00, 0x11, 0x22, 0x33, 0x44, 0xaa};
constexpr const char* kMacText = "0011223344aa";

// Header fields of a received datagram, written byte by byte at the offsets
// of the wire layout.
struct Reply {
    uint16_t protocol_version = 2;
    uint16_t sub_version = 1;
    MacBytes mac = kMac;
    uint16_t interface_version = 2;
    uint16_t command = CMD_DISCOVERY_REPLY;
    uint16_t status = 0;
    uint32_t utility_id = kUtilityId;
    uint16_t sequence = 0;
    Bytes fields;

    Bytes Build() const {
        Bytes b(40, 0);
        auto put16 = [&b](std::size_t at, uint16_t v) {
            b[at] = static_cast<uint8_t>(v >> 8);
            b[at + 1] = static_cast<uint8_t>(v);
        };
        put16(0, protocol_version);
        put16(2, sub_version);
        for (std::size_t i = 0; i < 6; ++i)
            b[4 + i] = mac[i];
        put16(10, interface_version);
        put16(12, command);
        put16(14, status);
        put16(16, static_cast<uint16_t>(utility_id >> 16));
        put16(18, static_cast<uint16_t>(utility_id));
        put16(26, sequence);
        b.insert(b.end(), fields.begin(), fields.end());
        return b;
    }
};

Bytes Tlv(uint16_t type, const Bytes& value) {
    const auto length = static_cast<uint16_t>(value.size() + 4);
    Bytes b = {static_cast<uint8_t>(type >> 8), static_cast<uint8_t>(type),
               static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
    b.insert(b.end(), value.begin(), value.end());
    return b;
}

Bytes TextTlv(uint16_t type, const std::string& text) {
    return Tlv(type, Bytes(text.begin(), text.end()));
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

MacBytes MacNo(int n) {
    return {0x02, 0x00, 0x00, 0x00, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
}

struct RecordedTrap {
    Bytes fields;
    DeviceRecord staging;
};

class FakeTrapHandler : public TrapHandler {
public:
    std::vector<RecordedTrap> traps;
    void HandleTrap(std::span<const uint8_t> fields, const DeviceRecord& staging) override {
        traps.push_back({Bytes(fields.begin(), fields.end()), staging});
    }
};

class DispatchTest : public ::testing::Test {
protected:
    DispatchTest() { state.settings.utility_id = kUtilityId; }

    void Dispatch(const Bytes& datagram, uint32_t sender = kSender) {
        dispatcher.DispatchDatagram(datagram, sender);
        EXPECT_TRUE(hooks.faults.empty()) << hooks.faults.front();
        EXPECT_EQ(hooks.discovery_rows.size(),
                  static_cast<std::size_t>(state.tables.discovery.count()));
        EXPECT_EQ(hooks.monitor_rows.size(),
                  static_cast<std::size_t>(state.tables.monitor.count()));
    }

    // A monitored agent, as the Remote IP dialog or a move would leave it,
    // with its row already shown.
    DeviceRecord& AddMonitored(const std::string& ip_text, const std::string& mac_text,
                               int32_t status_image = kImageNone) {
        state.tables.monitor.Append(ZeroRecord());
        DeviceRecord& r = state.tables.monitor
                              .records[static_cast<std::size_t>(state.tables.monitor.count() - 1)];
        SetFieldText(r.ip_text, ip_text);
        r.ip = ParseIpv4(ip_text).value_or(0);
        SetFieldText(r.mac_text, mac_text);
        r.row_state = kRowKnown;
        r.status_image = status_image;
        hooks.monitor_rows.push_back({ip_text, mac_text, status_image});
        return r;
    }

    // Forgets every event reported so far.
    void ClearEvents() { events = RecordingEvents{}; }

    CoreState state;
    FakeListHooks hooks{state.tables};
    RecordingEvents events;
    FakeTrapHandler traps;
    Dispatcher dispatcher{state.settings, state.exchange, state.tables, hooks, events, &traps};
};

using Order = std::vector<std::string>;

AgentStored Stored(AgentList list, int index, bool added, bool back, uint16_t command,
                   uint32_t sender_ip = kSender) {
    return {list, index, added, back, command, sender_ip};
}

TEST_F(DispatchTest, DiscoveryReplyFromLiteralBytesAddsOneDiscoveryRow) {
    const Bytes datagram = {
        0x00, 0x02, 0x00, 0x01,             // protocol 2, sub-version 1
        0x00, 0x11, 0x22, 0x33, 0x44, 0xaa, // mac
        0x00, 0x02, 0x00, 0x02, 0x00, 0x00, // interface 2, command 2, status 0
        0x4B, 0x45, 0x53, 0x54,             // utility id
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // reserved
        0x00, 0x00,                         // sequence
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x01, 0x00, 0x08, 'K',  'S',  '-',  '8', // product name
        0x00, 0x04, 0x00, 0x08, 0xC6, 0x12, 0x00, 0x21,            // ip 198.18.0.33
        0x00, 0x0A, 0x00, 0x06, 0x00, 0x01,                        // dhcp enabled
    };
    Dispatch(datagram);

    ASSERT_EQ(state.tables.discovery.count(), 1);
    const DeviceRecord& r = state.tables.discovery.records[0];
    EXPECT_EQ(FieldText(r.mac_text), kMacText);
    EXPECT_EQ(FieldText(r.product_name), "KS-8");
    EXPECT_EQ(FieldText(r.ip_text), "198.18.0.33");
    EXPECT_EQ(r.ip, 0xC6120021u);
    EXPECT_EQ(r.dhcp_state, kDhcpEnabled);
    EXPECT_EQ(r.group_interval, -1);
    EXPECT_EQ(r.utility_id, kUtilityId);
    EXPECT_EQ(r.row_state, kRowNew);
    EXPECT_EQ(r.status_image, kImageNone);
    EXPECT_EQ(r.reply_flag, 1);
    EXPECT_EQ(r.missed_polls, 0);
    EXPECT_EQ(r.reply_command, CMD_DISCOVERY_REPLY);
    EXPECT_EQ(r.field_mask[0], 0x3FFu);
    EXPECT_EQ(FormatVersionText(r.protocol_version, r.sub_version, r.interface_version),
              "2.001.002");
    EXPECT_EQ(hooks.calls, (std::vector<std::string>{"remember", "discovery 0", "restore"}));
    // Said before it is stored, and stored from the datagram's sender, not
    // from the address the agent reports.
    EXPECT_EQ(events.order, (Order{"discovery reply", "stored"}));
    EXPECT_EQ(events.discovery_replies, (std::vector<std::string>{kMacText}));
    EXPECT_EQ(events.stored, (std::vector<AgentStored>{Stored(AgentList::Discovery, 0, true, false,
                                                              CMD_DISCOVERY_REPLY)}));
    EXPECT_EQ(state.tables.monitor.count(), 0);
}

TEST_F(DispatchTest, HeaderPresetsFieldMaskAndSenderAddress) {
    struct Case {
        uint16_t interface_version;
        uint32_t mask;
    };
    for (const Case c : {Case{1, 0x1FF}, Case{2, 0x3FF}, Case{3, 0}, Case{0, 0}, Case{7, 0}}) {
        SCOPED_TRACE(c.interface_version);
        state.tables.discovery.Clear();
        hooks.discovery_rows.clear();
        Reply reply;
        reply.interface_version = c.interface_version;
        Dispatch(reply.Build());
        ASSERT_EQ(state.tables.discovery.count(), 1);
        const DeviceRecord& r = state.tables.discovery.records[0];
        EXPECT_EQ(r.field_mask[0], c.mask);
        EXPECT_EQ(FieldText(r.ip_text), "198.18.0.10");
        EXPECT_EQ(r.ip, kSender);
        EXPECT_EQ(r.dhcp_state, kDhcpNotReported);
    }
}

TEST_F(DispatchTest, DatagramsFailingTheHeaderChecksAreDroppedSilently) {
    state.exchange.sequence = 5;
    struct Case {
        const char* name;
        Reply reply;
        DropReason reason;
    };
    auto with = [](auto change) {
        Reply r;
        change(r);
        return r;
    };
    const Case cases[] = {
        {"foreign utility id", with([](Reply& r) { r.utility_id = kUtilityId + 1; }),
         DropReason::ForeignUtility},
        {"foreign utility id with an error status", with([](Reply& r) {
             r.utility_id = 0;
             r.status = STATUS_PASSWORD_ERROR;
         }),
         DropReason::ForeignUtility},
        {"sub-version 0", with([](Reply& r) { r.sub_version = 0; }), DropReason::SubVersion},
        {"sub-version 2 of a loader", with([](Reply& r) {
             r.sub_version = 2;
             r.command = CMD_LOADER_REPLY;
         }),
         DropReason::SubVersion},
        {"sub-version 0 of another protocol version", with([](Reply& r) {
             r.sub_version = 0;
             r.protocol_version = 3;
         }),
         DropReason::SubVersion},
        {"stale set reply", with([](Reply& r) {
             r.command = CMD_SET_REPLY;
             r.sequence = 4;
         }),
         DropReason::StaleSequence},
        {"stale set reply with an error status", with([](Reply& r) {
             r.command = CMD_SET_REPLY;
             r.sequence = 6;
             r.status = STATUS_COMMAND_ERROR;
         }),
         DropReason::StaleSequence},
        {"stale upgrade trigger reply", with([](Reply& r) {
             r.command = CMD_UPGRADE_TRIGGER_REPLY;
             r.sequence = 0;
         }),
         DropReason::StaleSequence},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Dispatch(c.reply.Build());
        // Nothing reported: no status, no discovery reply, no trigger
        // acknowledgement.
        EXPECT_EQ(events.order, Order{});
        EXPECT_TRUE(hooks.calls.empty());
        EXPECT_EQ(state.tables.discovery.count(), 0);
        EXPECT_EQ(state.exchange.sequence, 5);
        // Counted by its reason, once.
        EXPECT_EQ(events.dropped, std::vector<DropReason>{c.reason});
        ClearEvents();
    }
    // Shorter than the header: its missing identifier reads as zero.
    Dispatch(Bytes(12, 0x02));
    EXPECT_EQ(events.order, Order{});
    EXPECT_EQ(events.dropped, std::vector<DropReason>{DropReason::Short});
}

TEST_F(DispatchTest, OtherProtocolVersionIsListedWithoutItsFields) {
    Reply reply;
    reply.protocol_version = 3;
    reply.interface_version = 2;
    reply.fields = Join({TextTlv(TLV_PRODUCT_NAME, "Hidden"), Tlv(TLV_IP_ADDRESS, {10, 0, 0, 1})});
    Dispatch(reply.Build());

    ASSERT_EQ(state.tables.discovery.count(), 1);
    const DeviceRecord& r = state.tables.discovery.records[0];
    EXPECT_EQ(FormatVersionText(r.protocol_version, r.sub_version, r.interface_version),
              "3.001.002");
    EXPECT_EQ(FieldText(r.product_name), "");
    EXPECT_EQ(FieldText(r.ip_text), "198.18.0.10");
    EXPECT_EQ(r.reply_command, 0);
    EXPECT_EQ(r.field_mask[0], 0x3FFu);
    EXPECT_EQ(r.dhcp_state, kDhcpNotReported);
    EXPECT_EQ(r.group_interval, -1);
    EXPECT_EQ(r.row_state, kRowNew);
    EXPECT_EQ(hooks.discovery_rows.size(), 1u);
    // Stored, but not a discovery reply the rediscovery could count.
    EXPECT_EQ(events.order, Order{"stored"});
    EXPECT_EQ(events.stored, (std::vector<AgentStored>{Stored(AgentList::Discovery, 0, true, false,
                                                              CMD_DISCOVERY_REPLY)}));
}

TEST_F(DispatchTest, SetReplySequenceIsCheckedAndAdvanced) {
    state.exchange.sequence = 7;
    Reply reply;
    reply.command = CMD_SET_REPLY;
    reply.sequence = 7;
    Dispatch(reply.Build());
    EXPECT_EQ(state.exchange.sequence, 8);
    EXPECT_EQ(state.tables.discovery.count(), 1);

    // The same reply again (the copy of a request sent twice) is stale now.
    hooks.calls.clear();
    ClearEvents();
    Dispatch(reply.Build());
    EXPECT_EQ(state.exchange.sequence, 8);
    EXPECT_TRUE(hooks.calls.empty());
    EXPECT_EQ(events.order, Order{});

    // A matching reply with an error status still advances the counter.
    reply.sequence = 8;
    reply.status = STATUS_COMMAND_ERROR;
    Dispatch(reply.Build());
    EXPECT_EQ(state.exchange.sequence, 9);
    EXPECT_EQ(events.status_replies,
              (std::vector<StatusReply>{{CMD_SET_REPLY, STATUS_COMMAND_ERROR, kMacText, kSender}}));
    EXPECT_TRUE(hooks.calls.empty());

    // The counter wraps.
    state.exchange.sequence = 0xFFFF;
    reply.sequence = 0xFFFF;
    reply.status = 0;
    Dispatch(reply.Build());
    EXPECT_EQ(state.exchange.sequence, 0);
}

TEST_F(DispatchTest, UnicastSetReplyIsProcessedWhateverItsSequence) {
    state.exchange.sequence = 3;
    Reply reply;
    reply.command = CMD_UNICAST_SET_REPLY;
    reply.sequence = 999;
    reply.fields = TextTlv(TLV_SYSTEM_NAME, "core-sw");
    Dispatch(reply.Build());
    EXPECT_EQ(state.exchange.sequence, 3);
    ASSERT_EQ(state.tables.discovery.count(), 1);
    EXPECT_EQ(FieldText(state.tables.discovery.records[0].system_name), "core-sw");
    EXPECT_EQ(state.tables.discovery.records[0].reply_command, CMD_UNICAST_SET_REPLY);
}

TEST_F(DispatchTest, ReplyStatusesShowTheirMessageAndChangeNothing) {
    struct Case {
        uint16_t status;     // as sent
        int reported;        // the status in the event: the low four bits
        const char* message; // nullptr: processed as a success
    };
    const Case cases[] = {
        {0x0001, 1, "Device return : protocol version Error"},
        {0x0002, 2, "Device return : password error"},
        {0x0012, 2, "Device return : password error"},
        {0x0003, 3, "Device return : command Error"},
        {0x0004, 4, "Device return : parameters Error"},
        {0x0005, 5, "Device return : acl Error"},
        {0x0007, 7, "Device return : unknow error"},
        {0x000F, 15, "Device return : unknow error"},
        {0xFFF9, 9, "Device return : unknow error"},
        {0x0010, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        ClearEvents();
        hooks.calls.clear();
        Reply reply;
        reply.command = CMD_UNICAST_SET_REPLY;
        reply.status = c.status;
        Dispatch(reply.Build());
        if (c.message) {
            const StatusReply expected{CMD_UNICAST_SET_REPLY, c.reported, kMacText, kSender};
            EXPECT_EQ(events.status_replies, std::vector<StatusReply>{expected});
            EXPECT_EQ(events.order, Order{"status"});
            // The window's words for it.
            std::string storage;
            EXPECT_EQ(StatusReplyMessage(expected, storage).text, c.message);
            EXPECT_TRUE(hooks.calls.empty());
            EXPECT_EQ(state.tables.discovery.count(), 0);
        } else {
            EXPECT_EQ(events.order, Order{"stored"});
            EXPECT_EQ(state.tables.discovery.count(), 1);
        }
    }
}

TEST_F(DispatchTest, DhcpRefreshFailureIsShownThenStoredAsAPlainCopy) {
    DeviceRecord& known = AddMonitored("198.18.0.10", kMacText);
    known.dhcp_state = kDhcpEnabled;
    known.interface_version = 3;
    state.exchange.pending_mac = kMacText;
    state.exchange.pending_ip = kSender;

    Reply reply;
    reply.command = CMD_UNICAST_SET_REPLY;
    reply.interface_version = 3;
    reply.status = STATUS_DHCP_REFRESH_FAIL;
    reply.fields = TextTlv(TLV_SYSTEM_NAME, "edge");
    Dispatch(reply.Build());

    EXPECT_EQ(events.status_replies,
              (std::vector<StatusReply>{
                  {CMD_UNICAST_SET_REPLY, STATUS_DHCP_REFRESH_FAIL, kMacText, kSender}}));
    // Reported first, then stored, and a plain copy confirms no pending set.
    EXPECT_EQ(events.order, (Order{"status", "stored"}));
    EXPECT_EQ(events.stored, (std::vector<AgentStored>{Stored(AgentList::Monitor, 0, false, false,
                                                              CMD_UNICAST_SET_REPLY)}));
    ASSERT_EQ(state.tables.monitor.count(), 1);
    const DeviceRecord& r = state.tables.monitor.records[0];
    EXPECT_EQ(FieldText(r.system_name), "edge");
    EXPECT_EQ(r.dhcp_state, kDhcpNotReported) << "a plain copy keeps no DHCP state";
    EXPECT_EQ(r.reply_command, 0);
    EXPECT_EQ(r.reply_flag, 1);
    EXPECT_EQ(state.exchange.pending_mac, kMacText);
    EXPECT_EQ(state.exchange.pending_ip, kSender);
    EXPECT_EQ(hooks.calls, (std::vector<std::string>{"remember", "monitor 0", "restore"}));
    EXPECT_EQ(state.tables.discovery.count(), 0);
}

TEST_F(DispatchTest, LoaderReplyEmptiesNamesAndMarksLoaderMode) {
    Reply discovery;
    discovery.fields = Join({TextTlv(TLV_PRODUCT_NAME, "KS-8"), TextTlv(TLV_SYSTEM_NAME, "lab"),
                             Tlv(TLV_GATEWAY, {198, 18, 0, 1}), Tlv(TLV_DHCP, {0, 1})});
    Dispatch(discovery.Build());
    ASSERT_EQ(state.tables.discovery.count(), 1);
    ASSERT_EQ(FieldText(state.tables.discovery.records[0].system_name), "lab");

    Reply loader;
    loader.command = CMD_LOADER_REPLY;
    loader.status = STATUS_PASSWORD_ERROR; // status is not looked at for a loader
    loader.fields = TextTlv(TLV_SYSTEM_NAME, "ignored");
    hooks.calls.clear();
    ClearEvents();
    Dispatch(loader.Build(), 0xC6120063);

    ASSERT_EQ(state.tables.discovery.count(), 1);
    const DeviceRecord& r = state.tables.discovery.records[0];
    EXPECT_EQ(r.agent_mode, AGENT_MODE_LOADER);
    EXPECT_EQ(FieldText(r.product_name), "");
    EXPECT_EQ(FieldText(r.system_name), "");
    EXPECT_EQ(FieldText(r.gateway_text), "");
    EXPECT_EQ(FieldText(r.ip_text), "198.18.0.99");
    EXPECT_EQ(r.dhcp_state, kDhcpNotReported);
    EXPECT_EQ(r.row_state, kRowKnown);
    EXPECT_EQ(r.reply_command, 0);
    // A refreshed row, from the loader's own address; no status is reported.
    EXPECT_EQ(events.order, Order{"stored"});
    EXPECT_EQ(events.stored, (std::vector<AgentStored>{Stored(AgentList::Discovery, 0, false, false,
                                                              CMD_LOADER_REPLY, 0xC6120063)}));
    EXPECT_EQ(hooks.calls, (std::vector<std::string>{"remember", "discovery 0", "restore"}));
}

TEST_F(DispatchTest, LoaderReplyFromAMonitoredAddressRefreshesTheMonitorRow) {
    AddMonitored("198.18.0.10", "");
    Reply loader;
    loader.command = CMD_LOADER_REPLY;
    Dispatch(loader.Build());
    EXPECT_EQ(state.tables.discovery.count(), 0);
    const DeviceRecord& r = state.tables.monitor.records[0];
    EXPECT_EQ(r.agent_mode, AGENT_MODE_LOADER);
    EXPECT_EQ(FieldText(r.mac_text), kMacText);
    EXPECT_EQ(r.row_state, kRowKnown);
    EXPECT_EQ(hooks.monitor_rows[0].mac_text, kMacText);
    EXPECT_EQ(events.stored, (std::vector<AgentStored>{
                                 Stored(AgentList::Monitor, 0, false, false, CMD_LOADER_REPLY)}));
}

TEST_F(DispatchTest, ReplyReportingAMonitoredAddressRefreshesOnlyTheMonitorRow) {
    AddMonitored("198.18.0.50", "0000000000ff");
    AddMonitored("198.18.0.33", "00000000ffff", kImageNotAlive);
    state.tables.monitor.records[1].row_state = kRowNotAlive;
    state.tables.monitor.records[1].missed_polls = 4;

    Reply reply; // sent from .10 but reports .33, with another MAC
    reply.fields = Tlv(TLV_IP_ADDRESS, {198, 18, 0, 33});
    Dispatch(reply.Build());

    EXPECT_EQ(state.tables.discovery.count(), 0);
    EXPECT_TRUE(hooks.discovery_rows.empty());
    const DeviceRecord& r = state.tables.monitor.records[1];
    EXPECT_EQ(FieldText(r.mac_text), kMacText);
    EXPECT_EQ(r.row_state, kRowKnown);
    EXPECT_EQ(r.status_image, kImageNone);
    EXPECT_EQ(r.missed_polls, 0);
    EXPECT_EQ(r.reply_flag, 1);
    EXPECT_EQ(hooks.calls, (std::vector<std::string>{"remember", "monitor 1", "restore"}));
    // Found by the address it reports, back after being declared not alive,
    // heard from the datagram's sender.
    EXPECT_EQ(events.stored, (std::vector<AgentStored>{Stored(AgentList::Monitor, 1, false, true,
                                                              CMD_DISCOVERY_REPLY, kSender)}));
}

TEST_F(DispatchTest, MonitoredMacUnderANewAddressKeepsTheNotAliveImage) {
    struct Case {
        int32_t image;
        int32_t row_state;
        bool back;
    };
    for (const Case c : {Case{kImageNotAlive, kRowKnown, false}, Case{kImageNone, kRowKnown, false},
                         Case{kImageNotAlive, kRowNotAlive, true}}) {
        SCOPED_TRACE(c.image);
        SCOPED_TRACE(c.row_state);
        state.tables.monitor.Clear();
        hooks.monitor_rows.clear();
        ClearEvents();
        AddMonitored("198.18.0.50", "0000000000ff");
        AddMonitored("198.18.0.60", kMacText, c.image).row_state = c.row_state;

        Dispatch(Reply{}.Build()); // from .10
        EXPECT_EQ(state.tables.discovery.count(), 0);
        const DeviceRecord& r = state.tables.monitor.records[1];
        EXPECT_EQ(FieldText(r.ip_text), "198.18.0.10");
        EXPECT_EQ(r.status_image, c.image);
        EXPECT_EQ(r.row_state, kRowKnown);
        EXPECT_EQ(hooks.monitor_rows[1].ip_text, "198.18.0.10");
        EXPECT_EQ(events.stored, (std::vector<AgentStored>{Stored(AgentList::Monitor, 1, false,
                                                                  c.back, CMD_DISCOVERY_REPLY)}));
    }
}

TEST_F(DispatchTest, HeaderOnlyRepliesReportWhereTheyWereStored) {
    struct Case {
        const char* name;
        uint16_t protocol_version;
        uint16_t command;
        int32_t monitored_row_state; // -1: nothing monitored at the sender's address
        AgentStored expected;
    };
    const Case cases[] = {
        {"loader, not monitored", 2, CMD_LOADER_REPLY, -1,
         Stored(AgentList::Discovery, 0, true, false, CMD_LOADER_REPLY)},
        {"loader, monitored", 2, CMD_LOADER_REPLY, kRowKnown,
         Stored(AgentList::Monitor, 0, false, false, CMD_LOADER_REPLY)},
        {"loader, monitored and declared not alive", 2, CMD_LOADER_REPLY, kRowNotAlive,
         Stored(AgentList::Monitor, 0, false, true, CMD_LOADER_REPLY)},
        {"other protocol version, declared not alive", 3, CMD_DISCOVERY_REPLY, kRowNotAlive,
         Stored(AgentList::Monitor, 0, false, true, CMD_DISCOVERY_REPLY)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        state.tables = DeviceTables{};
        hooks.discovery_rows.clear();
        hooks.monitor_rows.clear();
        ClearEvents();
        if (c.monitored_row_state >= 0)
            AddMonitored("198.18.0.10", kMacText).row_state = c.monitored_row_state;
        Reply reply;
        reply.protocol_version = c.protocol_version;
        reply.command = c.command;
        Dispatch(reply.Build());
        EXPECT_EQ(events.order, Order{"stored"});
        EXPECT_EQ(events.stored, std::vector<AgentStored>{c.expected});
    }
}

// A front end's box with its event loop lets the next datagram in while an
// event is reported before the store; the store reported afterwards still
// names the first datagram's command and sender.
TEST_F(DispatchTest, ADatagramLetInWhileReportingLeavesTheOneUnderWayAlone) {
    struct Case {
        const char* name;
        uint16_t command;
        uint16_t status;
        const char* reported_first;
        AgentStored expected;
    };
    const Case cases[] = {
        {"during its discovery reply", CMD_DISCOVERY_REPLY, 0, "discovery reply",
         Stored(AgentList::Monitor, 0, false, false, CMD_DISCOVERY_REPLY)},
        {"during its dhcp refresh failure", CMD_UNICAST_SET_REPLY, STATUS_DHCP_REFRESH_FAIL,
         "status", Stored(AgentList::Monitor, 0, false, false, CMD_UNICAST_SET_REPLY)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        state.tables = DeviceTables{};
        hooks.discovery_rows.clear();
        hooks.monitor_rows.clear();
        ClearEvents();
        AddMonitored("198.18.0.10", kMacText);
        Reply other;
        other.mac = MacNo(5);
        other.command = CMD_LOADER_REPLY;
        events.while_reporting = [&] {
            if (events.order.size() == 1)
                dispatcher.DispatchDatagram(other.Build(), 0xC6120077);
        };
        Reply reply;
        reply.command = c.command;
        reply.status = c.status;
        reply.fields = TextTlv(TLV_SYSTEM_NAME, "edge");
        Dispatch(reply.Build());
        EXPECT_EQ(events.order, (Order{c.reported_first, "stored", "stored"}));
        EXPECT_EQ(events.stored,
                  (std::vector<AgentStored>{
                      Stored(AgentList::Discovery, 0, true, false, CMD_LOADER_REPLY, 0xC6120077),
                      c.expected}));
        EXPECT_EQ(FieldText(state.tables.monitor.records[0].system_name), "edge");
        EXPECT_EQ(FieldText(state.tables.discovery.records[0].mac_text), "020000000005");
    }
}

TEST_F(DispatchTest, MergeKeepsTheKnownDhcpStateWhenTheReplyReportsNone) {
    AddMonitored("198.18.0.10", kMacText).dhcp_state = kDhcpEnabled;
    struct Case {
        uint16_t interface_version;
        Bytes fields;
        uint16_t expected;
    };
    const Case cases[] = {
        {2, {}, kDhcpEnabled},
        {3, {}, kDhcpEnabled},
        {1, {}, kDhcpNotReported},
        {3, Tlv(TLV_DHCP, {0, 0}), kDhcpDisabled},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.interface_version);
        state.tables.monitor.records[0].dhcp_state = kDhcpEnabled;
        Reply reply;
        reply.interface_version = c.interface_version;
        reply.fields = c.fields;
        Dispatch(reply.Build());
        EXPECT_EQ(state.tables.monitor.records[0].dhcp_state, c.expected);
    }
}

TEST_F(DispatchTest, NewAgentWithoutADhcpFieldIsNotShownAsDisabled) {
    // The free slot is all zero; merging into it would turn "not reported"
    // into "disabled".
    Reply reply;
    reply.interface_version = 3;
    Dispatch(reply.Build());
    ASSERT_EQ(state.tables.discovery.count(), 1);
    EXPECT_EQ(state.tables.discovery.records[0].dhcp_state, kDhcpNotReported);
}

TEST_F(DispatchTest, MergeReplyRecordCopiesEverythingElse) {
    DeviceRecord destination = ZeroRecord();
    destination.dhcp_state = kDhcpDisabled;
    SetFieldText(destination.location, "old");
    DeviceRecord source = ZeroRecord();
    source.dhcp_state = kDhcpNotReported;
    source.interface_version = 2;
    SetFieldText(source.location, "new");
    source.field_mask[3] = 0xE0000000;

    MergeReplyRecord(destination, source);
    EXPECT_EQ(destination.dhcp_state, kDhcpDisabled);
    DeviceRecord expected = source;
    expected.dhcp_state = kDhcpDisabled;
    EXPECT_EQ(std::memcmp(&destination, &expected, sizeof expected), 0);
}

TEST_F(DispatchTest, TheAgentPast256GetsAddFail) {
    for (int n = 0; n < kTableCapacity; ++n) {
        Reply reply;
        reply.mac = MacNo(n);
        Dispatch(reply.Build(), kSender + static_cast<uint32_t>(n));
    }
    ASSERT_EQ(state.tables.discovery.count(), 256);
    EXPECT_EQ(events.table_full, 0);
    EXPECT_EQ(events.stored.size(), 256u);

    // An agent already listed is still refreshed.
    hooks.calls.clear();
    ClearEvents();
    Reply known;
    known.mac = MacNo(255);
    Dispatch(known.Build());
    EXPECT_EQ(hooks.calls, (std::vector<std::string>{"remember", "discovery 255", "restore"}));
    EXPECT_EQ(events.stored, (std::vector<AgentStored>{Stored(AgentList::Discovery, 255, false,
                                                              false, CMD_DISCOVERY_REPLY)}));
    EXPECT_EQ(events.table_full, 0);

    for (const uint16_t command : {CMD_DISCOVERY_REPLY, CMD_LOADER_REPLY}) {
        SCOPED_TRACE(command);
        ClearEvents();
        hooks.calls.clear();
        state.tables.discovery.full_reported = false;
        Reply extra;
        extra.mac = MacNo(256);
        extra.command = command;
        Dispatch(extra.Build());
        EXPECT_EQ(events.table_full, 1);
        EXPECT_TRUE(events.stored.empty());
        EXPECT_EQ(state.tables.discovery.count(), 256);
        for (const std::string& call : hooks.calls)
            EXPECT_EQ(call.rfind("discovery", 0), std::string::npos) << call;
    }
}

// Every agent answers both copies of a discovery; a LAN with more than 256
// agents must give one box, not a flood of them.
TEST_F(DispatchTest, AFullTableIsReportedOnceUntilARecordFitsAgain) {
    for (int n = 0; n < kTableCapacity; ++n) {
        Reply reply;
        reply.mac = MacNo(n);
        Dispatch(reply.Build(), kSender + static_cast<uint32_t>(n));
    }
    // While the report is up, more agents past the limit answer.
    int nested = 0;
    events.while_reporting = [&] {
        if (events.order.back() != "table full" || nested > 0)
            return;
        ++nested;
        Reply again;
        again.mac = MacNo(400);
        dispatcher.DispatchDatagram(again.Build(), kSender + 400);
        --nested;
    };
    for (int copy = 0; copy < 2; ++copy) {
        for (int n = kTableCapacity; n < kTableCapacity + 10; ++n) {
            Reply extra;
            extra.mac = MacNo(n);
            extra.command = n % 2 ? CMD_LOADER_REPLY : CMD_DISCOVERY_REPLY;
            Dispatch(extra.Build(), kSender + static_cast<uint32_t>(n));
        }
    }
    events.while_reporting = nullptr;
    EXPECT_EQ(events.table_full, 1);
    EXPECT_EQ(events.stored.size(), 256u);

    // A record leaves (moved to the monitor list), a new agent fits, and
    // the next one past the limit is reported again.
    ClearRecord(state.tables.discovery.records[255]);
    CloseDiscoveryGaps(state.tables.discovery);
    hooks.discovery_rows.pop_back();
    ClearEvents();
    Reply fits;
    fits.mac = MacNo(300);
    Dispatch(fits.Build());
    EXPECT_EQ(events.table_full, 0);
    EXPECT_EQ(events.stored, (std::vector<AgentStored>{Stored(AgentList::Discovery, 255, true,
                                                              false, CMD_DISCOVERY_REPLY)}));
    Reply past;
    past.mac = MacNo(301);
    Dispatch(past.Build());
    Dispatch(past.Build());
    EXPECT_EQ(events.table_full, 1);

    // A new discovery empties the table and starts afresh.
    state.tables.discovery.Clear();
    EXPECT_FALSE(state.tables.discovery.full_reported);
}

TEST_F(DispatchTest, SetSuccessfulOnlyForThePendingTarget) {
    struct Case {
        const char* name;
        std::string pending_mac;
        uint32_t pending_ip;
        uint16_t command;
        Bytes fields;
        bool successful;
        uint32_t reported_ip = kSender; // the agent's address in the confirmation
        uint32_t from = kSender;        // the reply's sender
        int sequence_offset = 0;        // from the pending request's sequence
    };
    const Bytes reports_zero = Tlv(TLV_IP_ADDRESS, {0, 0, 0, 0});
    constexpr uint32_t kStranger = 0xC612013C; // 198.18.1.60
    const Case cases[] = {
        {"pending MAC", kMacText, 0, CMD_SET_REPLY, {}, true},
        {"pending address", "0000000000ff", kSender, CMD_UNICAST_SET_REPLY, {}, true},
        {"pending address reported in a field", "", 0xC6120021, CMD_SET_REPLY,
         Tlv(TLV_IP_ADDRESS, {198, 18, 0, 33}), true, 0xC6120021},
        {"another agent", "0000000000ff", 0xC6120099, CMD_SET_REPLY, {}, false},
        {"nothing pending", "", 0, CMD_SET_REPLY, {}, false},
        {"reports 0.0.0.0 with no pending address", "0000000000ff", 0, CMD_SET_REPLY, reports_zero,
         false},
        {"reports 0.0.0.0 and nothing pending", "", 0, CMD_UNICAST_SET_REPLY, reports_zero, false},
        {"discovery reply from the target", kMacText, kSender, CMD_DISCOVERY_REPLY, {}, false},
        {"poll reply from the target", kMacText, kSender, 6, {}, false},
        // Only the agent the request went to answers for it, and only with
        // the request's sequence.
        {"a stranger with the agent's MAC, unicast",
         kMacText,
         0,
         CMD_UNICAST_SET_REPLY,
         {},
         false,
         kSender,
         kStranger},
        {"a stranger with the agent's MAC, broadcast",
         kMacText,
         0,
         CMD_SET_REPLY,
         {},
         false,
         kSender,
         kStranger},
        {"a stranger reporting the pending address", "", 0xC6120021, CMD_SET_REPLY,
         Tlv(TLV_IP_ADDRESS, {198, 18, 0, 33}), false, kSender, kStranger},
        {"the agent from the address the request gave it",
         kMacText,
         kStranger,
         CMD_UNICAST_SET_REPLY,
         {},
         true,
         kStranger,
         kStranger},
        {"unicast reply with another sequence",
         kMacText,
         0,
         CMD_UNICAST_SET_REPLY,
         {},
         false,
         kSender,
         kSender,
         1},
    };
    std::vector<std::string> calls_when_confirmed;
    events.while_reporting = [&] {
        if (events.order.back() == "set confirmed")
            calls_when_confirmed = hooks.calls;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        events.confirmations.clear();
        events.order.clear();
        calls_when_confirmed.clear();
        hooks.calls.clear();
        state.exchange.pending_mac = c.pending_mac;
        state.exchange.pending_ip = c.pending_ip;
        state.exchange.answer_from = kSender;
        state.exchange.pending_sequence = state.exchange.sequence;
        Reply reply;
        reply.command = c.command;
        reply.sequence = static_cast<uint16_t>(state.exchange.sequence + c.sequence_offset);
        reply.fields = c.fields;
        Dispatch(reply.Build(), c.from);
        if (c.successful) {
            EXPECT_EQ(events.confirmations,
                      (std::vector<SetConfirmation>{{kMacText, c.reported_ip}}));
            EXPECT_EQ(state.exchange.pending_mac, "");
            EXPECT_EQ(state.exchange.pending_ip, 0u);
            // The confirmation comes after the row is shown, before the
            // selection returns, and before the store is reported.
            EXPECT_EQ(calls_when_confirmed, (std::vector<std::string>{"remember", "discovery 0"}));
            EXPECT_EQ(hooks.calls.back(), "restore");
            EXPECT_EQ(events.order, (Order{"set confirmed", "stored"}));
        } else {
            EXPECT_TRUE(events.confirmations.empty());
            EXPECT_EQ(state.exchange.pending_mac, c.pending_mac);
            EXPECT_EQ(state.exchange.pending_ip, c.pending_ip);
        }
    }
}

TEST_F(DispatchTest, TrapsGoToTheTrapHandlerUnlessTheyCarryAnErrorStatus) {
    Reply trap;
    trap.command = CMD_TRAP;
    trap.fields = {0x00, 0x01, 0x02, 0x03, 0x04};
    Dispatch(trap.Build());
    ASSERT_EQ(traps.traps.size(), 1u);
    EXPECT_EQ(traps.traps[0].fields, trap.fields);
    EXPECT_EQ(FieldText(traps.traps[0].staging.mac_text), kMacText);
    EXPECT_EQ(FieldText(traps.traps[0].staging.ip_text), "198.18.0.10");
    EXPECT_EQ(traps.traps[0].staging.reply_command, CMD_TRAP);
    EXPECT_TRUE(hooks.calls.empty());
    EXPECT_EQ(state.tables.discovery.count(), 0);

    // A header-only trap hands over no bytes.
    trap.fields.clear();
    Dispatch(trap.Build());
    ASSERT_EQ(traps.traps.size(), 2u);
    EXPECT_TRUE(traps.traps[1].fields.empty());

    // The handler's traps are not stored agents.
    EXPECT_EQ(events.order, Order{});

    trap.status = STATUS_ACL_ERROR;
    Dispatch(trap.Build());
    EXPECT_EQ(traps.traps.size(), 2u);
    EXPECT_EQ(events.status_replies,
              (std::vector<StatusReply>{{CMD_TRAP, STATUS_ACL_ERROR, kMacText, kSender}}));
    EXPECT_EQ(events.order, Order{"status"});
}

TEST_F(DispatchTest, TrapWithoutAHandlerIsIgnored) {
    Dispatcher bare(state.settings, state.exchange, state.tables, hooks, events);
    Reply trap;
    trap.command = CMD_TRAP;
    bare.DispatchDatagram(trap.Build(), kSender);
    EXPECT_TRUE(hooks.calls.empty());
    EXPECT_EQ(events.order, Order{});
}

// The dispatcher knows no upgrade target: it reports every acknowledgement
// and discovery reply with the sender's MAC, and the upgrade judges them.
TEST_F(DispatchTest, UpgradeRepliesAreReportedWithTheirMac) {
    Reply trigger;
    trigger.command = CMD_UPGRADE_TRIGGER_REPLY;
    trigger.sequence = 0;
    Dispatch(trigger.Build());
    EXPECT_EQ(events.trigger_acks, (std::vector<std::string>{kMacText}));
    EXPECT_EQ(events.order, Order{"trigger ack"});
    EXPECT_EQ(state.exchange.sequence, 1);
    EXPECT_EQ(state.tables.discovery.count(), 0);
    EXPECT_TRUE(hooks.calls.empty());

    // Another agent's acknowledgement carries its own MAC.
    trigger.mac = MacNo(9);
    trigger.sequence = 1;
    Dispatch(trigger.Build());
    EXPECT_EQ(events.trigger_acks, (std::vector<std::string>{kMacText, "020000000009"}));
    EXPECT_EQ(state.exchange.sequence, 2);

    // A refused trigger is a status, not an acknowledgement.
    trigger.sequence = 2;
    trigger.status = STATUS_PASSWORD_ERROR;
    Dispatch(trigger.Build());
    EXPECT_EQ(events.trigger_acks.size(), 2u);
    EXPECT_EQ(events.status_replies,
              (std::vector<StatusReply>{
                  {CMD_UPGRADE_TRIGGER_REPLY, STATUS_PASSWORD_ERROR, "020000000009", kSender}}));
    EXPECT_EQ(state.exchange.sequence, 3);

    ClearEvents();
    Dispatch(Reply{}.Build());
    EXPECT_EQ(events.discovery_replies, (std::vector<std::string>{kMacText}));
    EXPECT_EQ(events.order, (Order{"discovery reply", "stored"}));
    EXPECT_EQ(state.tables.discovery.count(), 1);
}

TEST_F(DispatchTest, DiscoveryReplyFromAnotherAgentIsReportedWithItsMac) {
    Reply reply;
    reply.mac = MacNo(0xff);
    Dispatch(reply.Build());
    EXPECT_EQ(events.discovery_replies, (std::vector<std::string>{"0200000000ff"}));
}

TEST_F(DispatchTest, SelectionIsRememberedAndRestoredAroundAStore) {
    AddMonitored("198.18.0.10", kMacText);
    hooks.selection = {2, 0};
    Dispatch(Reply{}.Build());
    EXPECT_EQ(hooks.calls, (std::vector<std::string>{"remember", "monitor 0", "restore"}));
    ASSERT_EQ(hooks.restored.size(), 1u);
    EXPECT_EQ(hooks.restored[0].monitor_row, 2);
    EXPECT_EQ(hooks.restored[0].discovery_row, 0);
}

TEST_F(DispatchTest, BothCopiesOfADiscoveryReplyGiveOneRow) {
    Reply reply;
    reply.fields = TextTlv(TLV_LOCATION, "rack 1");
    Dispatch(reply.Build());
    reply.fields = TextTlv(TLV_LOCATION, "rack 2");
    Dispatch(reply.Build());
    ASSERT_EQ(state.tables.discovery.count(), 1);
    EXPECT_EQ(state.tables.discovery.records[0].row_state, kRowKnown);
    EXPECT_EQ(FieldText(state.tables.discovery.records[0].location), "rack 2");
    EXPECT_EQ(hooks.discovery_rows.size(), 1u);
}

TEST_F(DispatchTest, BytesPast1500AreNotRead) {
    Reply reply;
    // A skipped field fills the buffer exactly; the name after it lies
    // beyond what the receive buffer holds.
    const Bytes filler(1500 - 40 - 4, 'x');
    reply.fields = Join({Tlv(TLV_NEW_PASSWORD, filler), TextTlv(TLV_SYSTEM_NAME, "beyond")});
    Dispatch(reply.Build());
    ASSERT_EQ(state.tables.discovery.count(), 1);
    EXPECT_EQ(FieldText(state.tables.discovery.records[0].system_name), "");

    // The same name inside the buffer is read.
    reply.fields =
        Join({Tlv(TLV_NEW_PASSWORD, Bytes(100, 'x')), TextTlv(TLV_SYSTEM_NAME, "inside")});
    Dispatch(reply.Build());
    EXPECT_EQ(FieldText(state.tables.discovery.records[0].system_name), "inside");
}

// Every prefix of a full reply is handled without harm; a prefix shorter than
// the header acts exactly like the header padded with zero bytes.
TEST(DispatchTruncation, EveryLengthIsSafe) {
    Reply reply;
    reply.command = CMD_SET_REPLY;
    reply.fields = Join({TextTlv(TLV_PRODUCT_NAME, "KS-8 managed"), TextTlv(TLV_SYSTEM_NAME, "lab"),
                         TextTlv(TLV_LOCATION, "rack"), Tlv(TLV_IP_ADDRESS, {198, 18, 0, 33}),
                         Tlv(TLV_SUBNET_MASK, {255, 254, 0, 0}), Tlv(TLV_GATEWAY, {198, 18, 0, 1}),
                         Tlv(TLV_TRAP_IP, {198, 18, 0, 1}), Tlv(TLV_DHCP, {0, 1}),
                         Tlv(TLV_RAW_WORD, {0xAB, 0xCD}), Tlv(TLV_GROUP_INTERVAL, {0, 0, 0, 60}),
                         Tlv(TLV_FIELD_MASK, Bytes(16, 0xFF))});
    const Bytes full = reply.Build();

    struct Outcome {
        DeviceTable discovery;
        uint16_t set_sequence;
        std::vector<SetConfirmation> confirmations;
        std::vector<std::string> order; // every event reported
        std::vector<std::string> calls;
    };
    auto run = [](const Bytes& datagram) {
        CoreState state;
        state.settings.utility_id = kUtilityId;
        state.exchange.pending_ip = 0xC6120021;
        state.exchange.answer_from = kSender;
        FakeListHooks hooks(state.tables);
        RecordingEvents events;
        Dispatcher dispatcher(state.settings, state.exchange, state.tables, hooks, events);
        dispatcher.DispatchDatagram(datagram, kSender);
        EXPECT_TRUE(hooks.faults.empty());
        EXPECT_EQ(hooks.discovery_rows.size(),
                  static_cast<std::size_t>(state.tables.discovery.count()));
        return Outcome{state.tables.discovery, state.exchange.sequence, events.confirmations,
                       events.order, hooks.calls};
    };

    for (std::size_t n = 0; n <= full.size(); ++n) {
        SCOPED_TRACE(n);
        const Bytes prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
        const Outcome got = run(prefix);
        if (n < kHeaderSize) {
            Bytes padded = prefix;
            padded.resize(kHeaderSize, 0);
            const Outcome want = run(padded);
            EXPECT_EQ(std::memcmp(&got.discovery.records, &want.discovery.records,
                                  sizeof got.discovery.records),
                      0);
            EXPECT_EQ(got.discovery.count(), want.discovery.count());
            EXPECT_EQ(got.set_sequence, want.set_sequence);
            EXPECT_EQ(got.confirmations, want.confirmations);
            EXPECT_EQ(got.order, want.order);
            EXPECT_EQ(got.calls, want.calls);
        } else {
            // A whole header: the reply is stored, and the confirmation
            // comes only once the reported address has been read.
            ASSERT_EQ(got.discovery.count(), 1);
            const DeviceRecord& r = got.discovery.records[0];
            EXPECT_EQ(FieldText(r.mac_text), kMacText);
            EXPECT_LT(FieldText(r.product_name).size(), sizeof r.product_name);
            EXPECT_EQ(got.set_sequence, 1);
            if (r.ip == 0xC6120021)
                EXPECT_EQ(got.confirmations,
                          (std::vector<SetConfirmation>{{kMacText, 0xC6120021}}));
            else
                EXPECT_TRUE(got.confirmations.empty());
        }
    }
    // The whole reply is read to its last field.
    const Outcome whole = run(full);
    EXPECT_EQ(whole.discovery.records[0].field_mask[3], 0xFFFFFFFFu);
    EXPECT_EQ(whole.discovery.records[0].group_interval, 60);
}

// Random datagrams, many of them passing the header checks, never break the
// tables, the rows or the counters.
TEST(DispatchSmoke, RandomDatagramsLeaveTheProgramSound) {
    CoreState state;
    state.settings.utility_id = kUtilityId;
    FakeListHooks hooks(state.tables);
    RecordingEvents events;
    FakeTrapHandler traps;
    Dispatcher dispatcher(state.settings, state.exchange, state.tables, hooks, events, &traps);
    // Every stored agent is named by a record in use when it is reported,
    // and only a monitored one can be back.
    int bad_reports = 0;
    events.while_reporting = [&] {
        if (events.order.back() != "stored")
            return;
        const AgentStored& s = events.stored.back();
        const DeviceTable& table =
            s.list == AgentList::Monitor ? state.tables.monitor : state.tables.discovery;
        if (!table.InUse(s.index) || (s.back && s.list != AgentList::Monitor))
            ++bad_reports;
    };
    for (int n = 1; n <= 3; ++n) {
        state.tables.monitor.Append(ZeroRecord());
        DeviceRecord& r = state.tables.monitor
                              .records[static_cast<std::size_t>(state.tables.monitor.count() - 1)];
        const std::string ip = "198.18.0." + std::to_string(n);
        SetFieldText(r.ip_text, ip);
        SetFieldText(r.mac_text, FormatMacText(MacNo(n)));
        r.row_state = kRowKnown;
        r.status_image = n == 2 ? kImageNotAlive : kImageNone;
        hooks.monitor_rows.push_back({ip, FieldText(r.mac_text).data(), r.status_image});
    }

    std::mt19937 rng(20240611);
    auto below = [&rng](uint32_t n) {
        return std::uniform_int_distribution<uint32_t>(0, n - 1)(rng);
    };
    for (int round = 0; round < 20000; ++round) {
        Bytes datagram(below(1700));
        for (uint8_t& b : datagram)
            b = static_cast<uint8_t>(below(256));
        if (datagram.size() >= kHeaderSize && below(4) != 0) {
            // Make most pass the header checks so the storing paths run.
            Reply header;
            header.mac = MacNo(static_cast<int>(below(400)));
            header.protocol_version = below(8) == 0 ? 3 : 2;
            header.interface_version = static_cast<uint16_t>(below(4));
            header.command = static_cast<uint16_t>(below(14));
            header.status = below(4) == 0 ? static_cast<uint16_t>(below(16)) : 0;
            header.sequence =
                below(2) ? state.exchange.sequence : static_cast<uint16_t>(below(65536));
            const Bytes head = header.Build();
            std::copy(head.begin(), head.end(), datagram.begin());
        }
        const uint32_t sender = 0xC6120000 | below(600);
        dispatcher.DispatchDatagram(datagram, sender);
        ASSERT_TRUE(hooks.faults.empty()) << hooks.faults.front();
        ASSERT_LE(state.tables.discovery.count(), kTableCapacity);
        ASSERT_EQ(hooks.discovery_rows.size(),
                  static_cast<std::size_t>(state.tables.discovery.count()));
        ASSERT_EQ(hooks.monitor_rows.size(),
                  static_cast<std::size_t>(state.tables.monitor.count()));
        if (round % 5000 == 2499) {
            state.tables.discovery.Clear();
            hooks.ClearDiscoveryRows();
        }
    }
    EXPECT_GT(state.tables.discovery.count(), 0);
    EXPECT_FALSE(traps.traps.empty());
    EXPECT_FALSE(events.status_replies.empty());
    EXPECT_FALSE(events.stored.empty());
    EXPECT_EQ(bad_reports, 0);
}

} // namespace
