#include "protocol/dispatch/Dispatcher.h"

#include "protocol/wire/Ipv4Text.h"
#include "protocol/wire/PacketHeader.h"
#include "protocol/wire/TlvCodec.h"
#include "support/FakeListHooks.h"
#include "support/FakeNotifier.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

using namespace kestrel;

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
        EXPECT_EQ(hooks.discovery_rows.size(), static_cast<std::size_t>(state.discovery.count()));
        EXPECT_EQ(hooks.monitor_rows.size(), static_cast<std::size_t>(state.monitor.count()));
    }

    // A monitored agent, as the Remote IP dialog or a move would leave it,
    // with its row already shown.
    DeviceRecord& AddMonitored(const std::string& ip_text, const std::string& mac_text,
                               int32_t status_image = kImageNone) {
        state.monitor.Append(ZeroRecord());
        DeviceRecord& r =
            state.monitor.records[static_cast<std::size_t>(state.monitor.count() - 1)];
        SetFieldText(r.ip_text, ip_text);
        r.ip = ParseIpv4(ip_text).value_or(0);
        SetFieldText(r.mac_text, mac_text);
        r.row_state = kRowKnown;
        r.status_image = status_image;
        hooks.monitor_rows.push_back({ip_text, mac_text, status_image});
        return r;
    }

    ProgramState state;
    FakeListHooks hooks{state};
    FakeNotifier notifier;
    FakeTrapHandler traps;
    Dispatcher dispatcher{state, hooks, notifier, &traps};
};

const ShownMessage kSetSuccessful{"Set Succesful", "Information", MessageIcon::Information};
const ShownMessage kAddFail{"Add fail, out of 256 devices", "Error", MessageIcon::Error};

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

    ASSERT_EQ(state.discovery.count(), 1);
    const DeviceRecord& r = state.discovery.records[0];
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
    EXPECT_TRUE(notifier.shown.empty());
    EXPECT_EQ(state.monitor.count(), 0);
}

TEST_F(DispatchTest, HeaderPresetsFieldMaskAndSenderAddress) {
    struct Case {
        uint16_t interface_version;
        uint32_t mask;
    };
    for (const Case c : {Case{1, 0x1FF}, Case{2, 0x3FF}, Case{3, 0}, Case{0, 0}, Case{7, 0}}) {
        SCOPED_TRACE(c.interface_version);
        state.discovery.Clear();
        hooks.discovery_rows.clear();
        Reply reply;
        reply.interface_version = c.interface_version;
        Dispatch(reply.Build());
        ASSERT_EQ(state.discovery.count(), 1);
        const DeviceRecord& r = state.discovery.records[0];
        EXPECT_EQ(r.field_mask[0], c.mask);
        EXPECT_EQ(FieldText(r.ip_text), "198.18.0.10");
        EXPECT_EQ(r.ip, kSender);
        EXPECT_EQ(r.dhcp_state, kDhcpNotReported);
    }
}

TEST_F(DispatchTest, DatagramsFailingTheHeaderChecksAreDroppedSilently) {
    state.set_sequence = 5;
    state.upgrade_target_mac = kMacText;
    struct Case {
        const char* name;
        Reply reply;
    };
    auto with = [](auto change) {
        Reply r;
        change(r);
        return r;
    };
    const Case cases[] = {
        {"foreign utility id", with([](Reply& r) { r.utility_id = kUtilityId + 1; })},
        {"foreign utility id with an error status", with([](Reply& r) {
             r.utility_id = 0;
             r.status = STATUS_PASSWORD_ERROR;
         })},
        {"sub-version 0", with([](Reply& r) { r.sub_version = 0; })},
        {"sub-version 2 of a loader", with([](Reply& r) {
             r.sub_version = 2;
             r.command = CMD_LOADER_REPLY;
         })},
        {"sub-version 0 of another protocol version", with([](Reply& r) {
             r.sub_version = 0;
             r.protocol_version = 3;
         })},
        {"stale set reply", with([](Reply& r) {
             r.command = CMD_SET_REPLY;
             r.sequence = 4;
         })},
        {"stale set reply with an error status", with([](Reply& r) {
             r.command = CMD_SET_REPLY;
             r.sequence = 6;
             r.status = STATUS_COMMAND_ERROR;
         })},
        {"stale upgrade trigger reply", with([](Reply& r) {
             r.command = CMD_UPGRADE_TRIGGER_REPLY;
             r.sequence = 0;
         })},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Dispatch(c.reply.Build());
        EXPECT_TRUE(notifier.shown.empty());
        EXPECT_TRUE(hooks.calls.empty());
        EXPECT_EQ(state.discovery.count(), 0);
        EXPECT_EQ(state.set_sequence, 5);
        EXPECT_EQ(state.upgrade_rediscovered, 0);
        EXPECT_EQ(state.upgrade_trigger_acked, 0);
    }
}

TEST_F(DispatchTest, OtherProtocolVersionIsListedWithoutItsFields) {
    Reply reply;
    reply.protocol_version = 3;
    reply.interface_version = 2;
    reply.fields = Join({TextTlv(TLV_PRODUCT_NAME, "Hidden"), Tlv(TLV_IP_ADDRESS, {10, 0, 0, 1})});
    Dispatch(reply.Build());

    ASSERT_EQ(state.discovery.count(), 1);
    const DeviceRecord& r = state.discovery.records[0];
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
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(DispatchTest, SetReplySequenceIsCheckedAndAdvanced) {
    state.set_sequence = 7;
    Reply reply;
    reply.command = CMD_SET_REPLY;
    reply.sequence = 7;
    Dispatch(reply.Build());
    EXPECT_EQ(state.set_sequence, 8);
    EXPECT_EQ(state.discovery.count(), 1);

    // The same reply again (the copy of a request sent twice) is stale now.
    hooks.calls.clear();
    Dispatch(reply.Build());
    EXPECT_EQ(state.set_sequence, 8);
    EXPECT_TRUE(hooks.calls.empty());

    // A matching reply with an error status still advances the counter.
    reply.sequence = 8;
    reply.status = STATUS_COMMAND_ERROR;
    Dispatch(reply.Build());
    EXPECT_EQ(state.set_sequence, 9);
    EXPECT_EQ(notifier.shown, (std::vector<ShownMessage>{
                                  {"Device return : command Error", "Error", MessageIcon::Error}}));
    EXPECT_TRUE(hooks.calls.empty());

    // The counter wraps.
    state.set_sequence = 0xFFFF;
    reply.sequence = 0xFFFF;
    reply.status = 0;
    Dispatch(reply.Build());
    EXPECT_EQ(state.set_sequence, 0);
}

TEST_F(DispatchTest, UnicastSetReplyIsProcessedWhateverItsSequence) {
    state.set_sequence = 3;
    Reply reply;
    reply.command = CMD_UNICAST_SET_REPLY;
    reply.sequence = 999;
    reply.fields = TextTlv(TLV_SYSTEM_NAME, "core-sw");
    Dispatch(reply.Build());
    EXPECT_EQ(state.set_sequence, 3);
    ASSERT_EQ(state.discovery.count(), 1);
    EXPECT_EQ(FieldText(state.discovery.records[0].system_name), "core-sw");
    EXPECT_EQ(state.discovery.records[0].reply_command, CMD_UNICAST_SET_REPLY);
}

TEST_F(DispatchTest, ReplyStatusesShowTheirMessageAndChangeNothing) {
    struct Case {
        uint16_t status;
        const char* message; // nullptr: processed as a success
    };
    const Case cases[] = {
        {0x0001, "Device return : protocol version Error"},
        {0x0002, "Device return : password error"},
        {0x0012, "Device return : password error"},
        {0x0003, "Device return : command Error"},
        {0x0004, "Device return : parameters Error"},
        {0x0005, "Device return : acl Error"},
        {0x0007, "Device return : unknow error"},
        {0x000F, "Device return : unknow error"},
        {0xFFF9, "Device return : unknow error"},
        {0x0010, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        notifier.shown.clear();
        hooks.calls.clear();
        Reply reply;
        reply.command = CMD_UNICAST_SET_REPLY;
        reply.status = c.status;
        Dispatch(reply.Build());
        if (c.message) {
            EXPECT_EQ(notifier.shown,
                      (std::vector<ShownMessage>{{c.message, "Error", MessageIcon::Error}}));
            EXPECT_TRUE(hooks.calls.empty());
            EXPECT_EQ(state.discovery.count(), 0);
        } else {
            EXPECT_TRUE(notifier.shown.empty());
            EXPECT_EQ(state.discovery.count(), 1);
        }
    }
}

TEST_F(DispatchTest, DhcpRefreshFailureIsShownThenStoredAsAPlainCopy) {
    DeviceRecord& known = AddMonitored("198.18.0.10", kMacText);
    known.dhcp_state = kDhcpEnabled;
    known.interface_version = 3;
    state.pending_set_mac = kMacText;
    state.pending_set_ip = kSender;

    Reply reply;
    reply.command = CMD_UNICAST_SET_REPLY;
    reply.interface_version = 3;
    reply.status = STATUS_DHCP_REFRESH_FAIL;
    reply.fields = TextTlv(TLV_SYSTEM_NAME, "edge");
    Dispatch(reply.Build());

    EXPECT_EQ(notifier.shown, (std::vector<ShownMessage>{{"Device return : dhcp refresh fail",
                                                          "Error", MessageIcon::Error}}));
    ASSERT_EQ(state.monitor.count(), 1);
    const DeviceRecord& r = state.monitor.records[0];
    EXPECT_EQ(FieldText(r.system_name), "edge");
    EXPECT_EQ(r.dhcp_state, kDhcpNotReported) << "a plain copy keeps no DHCP state";
    EXPECT_EQ(r.reply_command, 0);
    EXPECT_EQ(r.reply_flag, 1);
    EXPECT_EQ(state.pending_set_mac, kMacText);
    EXPECT_EQ(state.pending_set_ip, kSender);
    EXPECT_EQ(hooks.calls, (std::vector<std::string>{"remember", "monitor 0", "restore"}));
    EXPECT_EQ(state.discovery.count(), 0);
}

TEST_F(DispatchTest, LoaderReplyEmptiesNamesAndMarksLoaderMode) {
    Reply discovery;
    discovery.fields = Join({TextTlv(TLV_PRODUCT_NAME, "KS-8"), TextTlv(TLV_SYSTEM_NAME, "lab"),
                             Tlv(TLV_GATEWAY, {198, 18, 0, 1}), Tlv(TLV_DHCP, {0, 1})});
    Dispatch(discovery.Build());
    ASSERT_EQ(state.discovery.count(), 1);
    ASSERT_EQ(FieldText(state.discovery.records[0].system_name), "lab");

    Reply loader;
    loader.command = CMD_LOADER_REPLY;
    loader.status = STATUS_PASSWORD_ERROR; // status is not looked at for a loader
    loader.fields = TextTlv(TLV_SYSTEM_NAME, "ignored");
    hooks.calls.clear();
    Dispatch(loader.Build(), 0xC6120063);

    ASSERT_EQ(state.discovery.count(), 1);
    const DeviceRecord& r = state.discovery.records[0];
    EXPECT_EQ(r.agent_mode, AGENT_MODE_LOADER);
    EXPECT_EQ(FieldText(r.product_name), "");
    EXPECT_EQ(FieldText(r.system_name), "");
    EXPECT_EQ(FieldText(r.gateway_text), "");
    EXPECT_EQ(FieldText(r.ip_text), "198.18.0.99");
    EXPECT_EQ(r.dhcp_state, kDhcpNotReported);
    EXPECT_EQ(r.row_state, kRowKnown);
    EXPECT_EQ(r.reply_command, 0);
    EXPECT_TRUE(notifier.shown.empty());
    EXPECT_EQ(hooks.calls, (std::vector<std::string>{"remember", "discovery 0", "restore"}));
}

TEST_F(DispatchTest, LoaderReplyFromAMonitoredAddressRefreshesTheMonitorRow) {
    AddMonitored("198.18.0.10", "");
    Reply loader;
    loader.command = CMD_LOADER_REPLY;
    Dispatch(loader.Build());
    EXPECT_EQ(state.discovery.count(), 0);
    const DeviceRecord& r = state.monitor.records[0];
    EXPECT_EQ(r.agent_mode, AGENT_MODE_LOADER);
    EXPECT_EQ(FieldText(r.mac_text), kMacText);
    EXPECT_EQ(r.row_state, kRowKnown);
    EXPECT_EQ(hooks.monitor_rows[0].mac_text, kMacText);
}

TEST_F(DispatchTest, ReplyReportingAMonitoredAddressRefreshesOnlyTheMonitorRow) {
    AddMonitored("198.18.0.50", "0000000000ff");
    AddMonitored("198.18.0.33", "00000000ffff", kImageNotAlive);
    state.monitor.records[1].row_state = kRowNotAlive;
    state.monitor.records[1].missed_polls = 4;

    Reply reply; // sent from .10 but reports .33, with another MAC
    reply.fields = Tlv(TLV_IP_ADDRESS, {198, 18, 0, 33});
    Dispatch(reply.Build());

    EXPECT_EQ(state.discovery.count(), 0);
    EXPECT_TRUE(hooks.discovery_rows.empty());
    const DeviceRecord& r = state.monitor.records[1];
    EXPECT_EQ(FieldText(r.mac_text), kMacText);
    EXPECT_EQ(r.row_state, kRowKnown);
    EXPECT_EQ(r.status_image, kImageNone);
    EXPECT_EQ(r.missed_polls, 0);
    EXPECT_EQ(r.reply_flag, 1);
    EXPECT_EQ(hooks.calls, (std::vector<std::string>{"remember", "monitor 1", "restore"}));
}

TEST_F(DispatchTest, MonitoredMacUnderANewAddressKeepsTheNotAliveImage) {
    for (const int32_t image : {kImageNotAlive, kImageNone}) {
        SCOPED_TRACE(image);
        state.monitor.Clear();
        hooks.monitor_rows.clear();
        AddMonitored("198.18.0.50", "0000000000ff");
        AddMonitored("198.18.0.60", kMacText, image);

        Dispatch(Reply{}.Build()); // from .10
        EXPECT_EQ(state.discovery.count(), 0);
        const DeviceRecord& r = state.monitor.records[1];
        EXPECT_EQ(FieldText(r.ip_text), "198.18.0.10");
        EXPECT_EQ(r.status_image, image);
        EXPECT_EQ(r.row_state, kRowKnown);
        EXPECT_EQ(hooks.monitor_rows[1].ip_text, "198.18.0.10");
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
        state.monitor.records[0].dhcp_state = kDhcpEnabled;
        Reply reply;
        reply.interface_version = c.interface_version;
        reply.fields = c.fields;
        Dispatch(reply.Build());
        EXPECT_EQ(state.monitor.records[0].dhcp_state, c.expected);
    }
}

TEST_F(DispatchTest, NewAgentWithoutADhcpFieldIsNotShownAsDisabled) {
    // The free slot is all zero; merging into it would turn "not reported"
    // into "disabled".
    Reply reply;
    reply.interface_version = 3;
    Dispatch(reply.Build());
    ASSERT_EQ(state.discovery.count(), 1);
    EXPECT_EQ(state.discovery.records[0].dhcp_state, kDhcpNotReported);
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
    ASSERT_EQ(state.discovery.count(), 256);
    EXPECT_TRUE(notifier.shown.empty());

    // An agent already listed is still refreshed.
    hooks.calls.clear();
    Reply known;
    known.mac = MacNo(255);
    Dispatch(known.Build());
    EXPECT_EQ(hooks.calls, (std::vector<std::string>{"remember", "discovery 255", "restore"}));

    for (const uint16_t command : {CMD_DISCOVERY_REPLY, CMD_LOADER_REPLY}) {
        SCOPED_TRACE(command);
        notifier.shown.clear();
        hooks.calls.clear();
        state.discovery.full_reported = false;
        Reply extra;
        extra.mac = MacNo(256);
        extra.command = command;
        Dispatch(extra.Build());
        EXPECT_EQ(notifier.shown, std::vector<ShownMessage>{kAddFail});
        EXPECT_EQ(state.discovery.count(), 256);
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
    for (int copy = 0; copy < 2; ++copy) {
        for (int n = kTableCapacity; n < kTableCapacity + 10; ++n) {
            Reply extra;
            extra.mac = MacNo(n);
            extra.command = n % 2 ? CMD_LOADER_REPLY : CMD_DISCOVERY_REPLY;
            Dispatch(extra.Build(), kSender + static_cast<uint32_t>(n));
        }
    }
    EXPECT_EQ(notifier.shown, std::vector<ShownMessage>{kAddFail});

    // A record leaves (moved to the monitor list), a new agent fits, and
    // the next one past the limit is reported again.
    ClearRecord(state.discovery.records[255]);
    CloseDiscoveryGaps(state.discovery);
    hooks.discovery_rows.pop_back();
    notifier.shown.clear();
    Reply fits;
    fits.mac = MacNo(300);
    Dispatch(fits.Build());
    EXPECT_TRUE(notifier.shown.empty());
    Reply past;
    past.mac = MacNo(301);
    Dispatch(past.Build());
    Dispatch(past.Build());
    EXPECT_EQ(notifier.shown, std::vector<ShownMessage>{kAddFail});

    // A new discovery empties the table and starts afresh.
    state.discovery.Clear();
    EXPECT_FALSE(state.discovery.full_reported);
}

TEST_F(DispatchTest, SetSuccessfulOnlyForThePendingTarget) {
    struct Case {
        const char* name;
        std::string pending_mac;
        uint32_t pending_ip;
        uint16_t command;
        Bytes fields;
        bool successful;
    };
    const Bytes reports_zero = Tlv(TLV_IP_ADDRESS, {0, 0, 0, 0});
    const Case cases[] = {
        {"pending MAC", kMacText, 0, CMD_SET_REPLY, {}, true},
        {"pending address", "0000000000ff", kSender, CMD_UNICAST_SET_REPLY, {}, true},
        {"pending address reported in a field", "", 0xC6120021, CMD_SET_REPLY,
         Tlv(TLV_IP_ADDRESS, {198, 18, 0, 33}), true},
        {"another agent", "0000000000ff", 0xC6120099, CMD_SET_REPLY, {}, false},
        {"nothing pending", "", 0, CMD_SET_REPLY, {}, false},
        {"reports 0.0.0.0 with no pending address", "0000000000ff", 0, CMD_SET_REPLY, reports_zero,
         false},
        {"reports 0.0.0.0 and nothing pending", "", 0, CMD_UNICAST_SET_REPLY, reports_zero, false},
        {"discovery reply from the target", kMacText, kSender, CMD_DISCOVERY_REPLY, {}, false},
        {"poll reply from the target", kMacText, kSender, 6, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        notifier.shown.clear();
        hooks.calls.clear();
        state.pending_set_mac = c.pending_mac;
        state.pending_set_ip = c.pending_ip;
        Reply reply;
        reply.command = c.command;
        reply.sequence = state.set_sequence;
        reply.fields = c.fields;
        Dispatch(reply.Build());
        if (c.successful) {
            EXPECT_EQ(notifier.shown, std::vector<ShownMessage>{kSetSuccessful});
            EXPECT_EQ(state.pending_set_mac, "");
            EXPECT_EQ(state.pending_set_ip, 0u);
            // The message comes after the row is shown, before the selection returns.
            EXPECT_EQ(hooks.calls.back(), "restore");
        } else {
            EXPECT_TRUE(notifier.shown.empty());
            EXPECT_EQ(state.pending_set_mac, c.pending_mac);
            EXPECT_EQ(state.pending_set_ip, c.pending_ip);
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
    EXPECT_EQ(state.discovery.count(), 0);

    // A header-only trap hands over no bytes.
    trap.fields.clear();
    Dispatch(trap.Build());
    ASSERT_EQ(traps.traps.size(), 2u);
    EXPECT_TRUE(traps.traps[1].fields.empty());

    trap.status = STATUS_ACL_ERROR;
    Dispatch(trap.Build());
    EXPECT_EQ(traps.traps.size(), 2u);
    EXPECT_EQ(notifier.shown, (std::vector<ShownMessage>{
                                  {"Device return : acl Error", "Error", MessageIcon::Error}}));
}

TEST_F(DispatchTest, TrapWithoutAHandlerIsIgnored) {
    Dispatcher bare(state, hooks, notifier);
    Reply trap;
    trap.command = CMD_TRAP;
    bare.DispatchDatagram(trap.Build(), kSender);
    EXPECT_TRUE(hooks.calls.empty());
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(DispatchTest, UpgradeRepliesFromTheTargetSetTheFlags) {
    state.upgrade_target_mac = kMacText;
    Reply trigger;
    trigger.command = CMD_UPGRADE_TRIGGER_REPLY;
    trigger.sequence = 0;
    Dispatch(trigger.Build());
    EXPECT_EQ(state.upgrade_trigger_acked, 1);
    EXPECT_EQ(state.set_sequence, 1);
    EXPECT_EQ(state.discovery.count(), 0);
    EXPECT_TRUE(hooks.calls.empty());

    // From another agent it is stored like any success reply.
    state.upgrade_trigger_acked = 0;
    trigger.mac = MacNo(9);
    trigger.sequence = 1;
    Dispatch(trigger.Build());
    EXPECT_EQ(state.upgrade_trigger_acked, 0);
    ASSERT_EQ(state.discovery.count(), 1);
    EXPECT_EQ(state.discovery.records[0].reply_command, CMD_UPGRADE_TRIGGER_REPLY);

    EXPECT_EQ(state.upgrade_rediscovered, 0);
    Dispatch(Reply{}.Build());
    EXPECT_EQ(state.upgrade_rediscovered, 1);
    EXPECT_EQ(state.discovery.count(), 2);
}

TEST_F(DispatchTest, DiscoveryReplyFromAnotherAgentLeavesRediscoveredAlone) {
    state.upgrade_target_mac = "0000000000ff";
    Dispatch(Reply{}.Build());
    EXPECT_EQ(state.upgrade_rediscovered, 0);
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
    ASSERT_EQ(state.discovery.count(), 1);
    EXPECT_EQ(state.discovery.records[0].row_state, kRowKnown);
    EXPECT_EQ(FieldText(state.discovery.records[0].location), "rack 2");
    EXPECT_EQ(hooks.discovery_rows.size(), 1u);
}

TEST_F(DispatchTest, BytesPast1500AreNotRead) {
    Reply reply;
    // A skipped field fills the buffer exactly; the name after it lies
    // beyond what the receive buffer holds.
    const Bytes filler(1500 - 40 - 4, 'x');
    reply.fields = Join({Tlv(TLV_NEW_PASSWORD, filler), TextTlv(TLV_SYSTEM_NAME, "beyond")});
    Dispatch(reply.Build());
    ASSERT_EQ(state.discovery.count(), 1);
    EXPECT_EQ(FieldText(state.discovery.records[0].system_name), "");

    // The same name inside the buffer is read.
    reply.fields =
        Join({Tlv(TLV_NEW_PASSWORD, Bytes(100, 'x')), TextTlv(TLV_SYSTEM_NAME, "inside")});
    Dispatch(reply.Build());
    EXPECT_EQ(FieldText(state.discovery.records[0].system_name), "inside");
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
        std::vector<ShownMessage> shown;
        std::vector<std::string> calls;
    };
    auto run = [](const Bytes& datagram) {
        ProgramState state;
        state.settings.utility_id = kUtilityId;
        state.pending_set_ip = 0xC6120021;
        FakeListHooks hooks(state);
        FakeNotifier notifier;
        Dispatcher dispatcher(state, hooks, notifier);
        dispatcher.DispatchDatagram(datagram, kSender);
        EXPECT_TRUE(hooks.faults.empty());
        EXPECT_EQ(hooks.discovery_rows.size(), static_cast<std::size_t>(state.discovery.count()));
        return Outcome{state.discovery, state.set_sequence, notifier.shown, hooks.calls};
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
            EXPECT_EQ(got.shown, want.shown);
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
                EXPECT_EQ(got.shown, std::vector<ShownMessage>{kSetSuccessful});
            else
                EXPECT_TRUE(got.shown.empty());
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
    ProgramState state;
    state.settings.utility_id = kUtilityId;
    state.upgrade_target_mac = "020000000007";
    FakeListHooks hooks(state);
    FakeNotifier notifier;
    FakeTrapHandler traps;
    Dispatcher dispatcher(state, hooks, notifier, &traps);
    for (int n = 1; n <= 3; ++n) {
        state.monitor.Append(ZeroRecord());
        DeviceRecord& r =
            state.monitor.records[static_cast<std::size_t>(state.monitor.count() - 1)];
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
            header.sequence = below(2) ? state.set_sequence : static_cast<uint16_t>(below(65536));
            const Bytes head = header.Build();
            std::copy(head.begin(), head.end(), datagram.begin());
        }
        const uint32_t sender = 0xC6120000 | below(600);
        dispatcher.DispatchDatagram(datagram, sender);
        ASSERT_TRUE(hooks.faults.empty()) << hooks.faults.front();
        ASSERT_LE(state.discovery.count(), kTableCapacity);
        ASSERT_EQ(hooks.discovery_rows.size(), static_cast<std::size_t>(state.discovery.count()));
        ASSERT_EQ(hooks.monitor_rows.size(), static_cast<std::size_t>(state.monitor.count()));
        if (round % 5000 == 2499) {
            state.discovery.Clear();
            hooks.ClearDiscoveryRows();
        }
    }
    EXPECT_GT(state.discovery.count(), 0);
    EXPECT_FALSE(traps.traps.empty());
    EXPECT_FALSE(notifier.shown.empty());
}

} // namespace
