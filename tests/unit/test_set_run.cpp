// One set request from button to answer, without sockets: nothing goes out
// before the multicast re-join ends, then the payload is read and sent, and
// the agent's answer arrives through the program's events.

#include "config/SetRun.h"

#include "core/CoreEvents.h"
#include "protocol/wire/PacketHeader.h"
#include "support/CoreState.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

using namespace kestrel;

namespace {

constexpr uint32_t kDiscoveredIp = 0xC6120105; // 198.18.1.5
constexpr uint32_t kMonitoredIp = 0xC6120107;  // 198.18.1.7
constexpr uint32_t kOtherIp = 0xC6120109;
const std::string kMac = "0a1b2c3d4e5f";
const std::string kOtherMac = "0a1b2c3d4e60";

// Records the sends; keeps each re-join's continuation for the test to run.
class HeldRejoinSender : public DatagramSender {
public:
    struct Sent {
        SocketKind from;
        std::vector<uint8_t> bytes;
        uint32_t address;
        uint16_t port;
    };
    std::vector<Sent> sent; // failed attempts too
    std::set<SocketKind> failing;
    int error_code = 0;
    std::vector<std::function<void()>> held;

    bool SendDatagram(SocketKind from, std::span<const uint8_t> bytes, uint32_t address,
                      uint16_t port) override {
        sent.push_back({from, {bytes.begin(), bytes.end()}, address, port});
        return !failing.contains(from);
    }
    int LastSendError() const override { return error_code; }
    bool EnableBroadcast() override { return true; }
    void RejoinMulticastGroup(std::function<void()> then) override {
        held.push_back(std::move(then));
    }

    // The re-join ends: runs every continuation held so far.
    void EndRejoin() {
        std::vector<std::function<void()>> due;
        due.swap(held);
        for (const std::function<void()>& then : due)
            then();
    }
};

DeviceRecord Agent(const std::string& mac, uint32_t ip) {
    DeviceRecord r = ZeroRecord();
    SetFieldText(r.mac_text, mac);
    r.ip = ip;
    r.protocol_version = 2;
    r.interface_version = 3;
    return r;
}

struct Rig {
    CoreState state;
    HeldRejoinSender sender;
    CoreEvents events;
    SetLink link{state.settings, state.exchange, state.tables, sender};
    std::unique_ptr<SetRun> run = std::make_unique<SetRun>(link, events);

    // What the run reported, in order.
    std::vector<std::string> order;
    std::vector<bool> running_changes;
    std::vector<SendFailure> run_failures;
    std::vector<SendFailure> events_failures;
    std::vector<SetAnswer> answers;
    int payload_reads = 0;
    std::optional<SetPayload> payload;

    Rig() {
        state.settings.utility_id = 0x4B455354;
        state.settings.base_port = 5010;
        state.settings.multicast_group = "239.255.255.250";
        EXPECT_TRUE(state.tables.discovery.Append(Agent(kMac, kDiscoveredIp)));
        EXPECT_TRUE(state.tables.monitor.Append(Agent(kMac, kMonitoredIp)));
        DeviceRecord working = Agent(kMac, kMonitoredIp);
        SetFieldText(working.password, "pw");
        working.field_mask[0] = 0x100; // the password only
        payload = SetPayload{working, DhcpChange::Untouched};

        QObject::connect(run.get(), &SetRun::RunningChanged, [this](bool running) {
            running_changes.push_back(running);
            order.push_back(running ? "running" : "not running");
        });
        QObject::connect(run.get(), &SetRun::Withheld, [this] { order.push_back("withheld"); });
        QObject::connect(run.get(), &SetRun::Sent, [this] { order.push_back("sent"); });
        QObject::connect(run.get(), &SetRun::SendFailed, [this](const SendFailure& f) {
            run_failures.push_back(f);
            order.push_back("send failed");
        });
        QObject::connect(run.get(), &SetRun::Answered, [this](const SetAnswer& a) {
            answers.push_back(a);
            order.push_back("answered");
        });
        QObject::connect(&events, &CoreEvents::sendFailed, [this](const SendFailure& f) {
            events_failures.push_back(f);
            order.push_back("events send failed");
        });
    }

    void Start(AgentList list, SetVariant variant = SetVariant::Configuration) {
        run->Start({list, 0}, variant, [this]() -> std::optional<SetPayload> {
            ++payload_reads;
            return payload;
        });
    }
};

TEST(SetRun, NothingIsReadOrSentBeforeTheRejoinEnds) {
    Rig t;
    t.Start(AgentList::Monitor);

    EXPECT_TRUE(t.run->running());
    EXPECT_EQ(t.sender.held.size(), 1u);
    EXPECT_TRUE(t.sender.sent.empty());
    EXPECT_EQ(t.payload_reads, 0);
    EXPECT_EQ(t.order, (std::vector<std::string>{"running"}));

    // A second press while the re-join runs does nothing.
    t.Start(AgentList::Discovery, SetVariant::Password);
    EXPECT_EQ(t.sender.held.size(), 1u);
    EXPECT_EQ(t.order, (std::vector<std::string>{"running"}));

    t.sender.EndRejoin();

    EXPECT_FALSE(t.run->running());
    EXPECT_EQ(t.payload_reads, 1);
    // The first request's agent and variant: one unicast set to the monitored agent.
    ASSERT_EQ(t.sender.sent.size(), 1u);
    EXPECT_EQ(t.sender.sent[0].from, SocketKind::Unicast);
    EXPECT_EQ(t.sender.sent[0].address, kMonitoredIp);
    EXPECT_EQ(t.sender.sent[0].port, 5012);
    ASSERT_GE(t.sender.sent[0].bytes.size(), 14u);
    EXPECT_EQ(t.sender.sent[0].bytes[13], 7); // unicast set
    EXPECT_EQ(t.state.exchange.pending_mac, kMac);
    EXPECT_EQ(t.order, (std::vector<std::string>{"running", "not running", "sent"}));
    EXPECT_EQ(t.running_changes, (std::vector<bool>{true, false}));
    EXPECT_TRUE(t.answers.empty());
}

TEST(SetRun, DiscoveryListAgentIsSentByBroadcastThenMulticast) {
    Rig t;
    t.Start(AgentList::Discovery);
    t.sender.EndRejoin();

    ASSERT_EQ(t.sender.sent.size(), 2u);
    EXPECT_EQ(t.sender.sent[0].from, SocketKind::Broadcast);
    EXPECT_EQ(t.sender.sent[1].from, SocketKind::Multicast);
    EXPECT_EQ(t.sender.sent[0].bytes[13], 3); // set
    EXPECT_EQ(t.order, (std::vector<std::string>{"running", "not running", "sent"}));
}

TEST(SetRun, WithheldPayloadSendsNothing) {
    Rig t;
    t.payload.reset();
    t.Start(AgentList::Monitor);
    t.sender.EndRejoin();

    EXPECT_EQ(t.payload_reads, 1);
    EXPECT_TRUE(t.sender.sent.empty());
    EXPECT_EQ(t.order, (std::vector<std::string>{"running", "not running", "withheld"}));
    EXPECT_TRUE(t.events_failures.empty());

    // No request is out, so nothing is answered.
    t.events.OnSetConfirmed({kMac, kMonitoredIp});
    t.events.OnStatusReply({CMD_UNICAST_SET_REPLY, STATUS_PASSWORD_ERROR, kMac, kMonitoredIp});
    EXPECT_TRUE(t.answers.empty());
}

TEST(SetRun, FailedSendIsReportedWithItsKindToTheRunAndTheEvents) {
    const struct {
        const char* name;
        AgentList list;
        SetVariant variant;
        SocketKind failing;
        std::size_t attempts;
        SendKind kind;
    } cases[] = {
        {"discovery list, broadcast", AgentList::Discovery, SetVariant::Configuration,
         SocketKind::Broadcast, 1, SendKind::SetBroadcast},
        {"discovery list, multicast", AgentList::Discovery, SetVariant::Password,
         SocketKind::Multicast, 2, SendKind::SetBroadcast},
        {"discovery list, DHCP refresh", AgentList::Discovery, SetVariant::DhcpRefresh,
         SocketKind::Broadcast, 1, SendKind::SetBroadcast},
        {"monitor list, configuration", AgentList::Monitor, SetVariant::Configuration,
         SocketKind::Unicast, 1, SendKind::SetUnicast},
        {"monitor list, DHCP refresh", AgentList::Monitor, SetVariant::DhcpRefresh,
         SocketKind::Unicast, 1, SendKind::SetUnicast},
        {"monitor list, password", AgentList::Monitor, SetVariant::Password, SocketKind::Unicast, 1,
         SendKind::PasswordUnicast},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig t;
        t.sender.failing = {c.failing};
        t.sender.error_code = 101;
        t.Start(c.list, c.variant);
        t.sender.EndRejoin();

        EXPECT_EQ(t.sender.sent.size(), c.attempts);
        const SendFailure expected{c.kind, 101};
        EXPECT_EQ(t.run_failures, std::vector<SendFailure>{expected});
        EXPECT_EQ(t.events_failures, std::vector<SendFailure>{expected});
        EXPECT_EQ(std::count(t.order.begin(), t.order.end(), "sent"), 0);
        EXPECT_EQ(std::count(t.order.begin(), t.order.end(), "withheld"), 0);
        EXPECT_FALSE(t.run->running());

        // Nothing went out, so nothing is answered.
        t.events.OnSetConfirmed({kMac, kMonitoredIp});
        t.events.OnStatusReply({CMD_SET_REPLY, STATUS_COMMAND_ERROR, kMac, kDiscoveredIp});
        EXPECT_TRUE(t.answers.empty());
    }
}

// One of the program's events, as the receive path reports it.
struct Answer {
    enum Kind { Confirmed, Status } kind;
    uint16_t command = 0;
    int status = 0;
    std::string mac = kMac;
    uint32_t ip = kMonitoredIp;
};

Answer Confirmation() {
    return {Answer::Confirmed};
}
Answer Status(uint16_t command, int status, std::string mac = kMac, uint32_t ip = kMonitoredIp) {
    return {Answer::Status, command, status, std::move(mac), ip};
}

void Feed(CoreEvents& events, const Answer& a) {
    if (a.kind == Answer::Confirmed)
        events.OnSetConfirmed({a.mac, a.ip});
    else
        events.OnStatusReply({a.command, a.status, a.mac, a.ip});
}

TEST(SetRun, AnswersAfterTheRequestWentOut) {
    using K = SetAnswer::Kind;
    const struct {
        const char* name;
        AgentList list;
        std::vector<Answer> answers;
        std::vector<SetAnswer> expected;
    } cases[] = {
        {"confirmation", AgentList::Monitor, {Confirmation()}, {{K::Succeeded, 0}}},
        {"confirmation, discovery list",
         AgentList::Discovery,
         {Confirmation()},
         {{K::Succeeded, 0}}},
        {"password error",
         AgentList::Monitor,
         {Status(CMD_UNICAST_SET_REPLY, 2)},
         {{K::PasswordError, 2}}},
        {"password error, discovery list",
         AgentList::Discovery,
         {Status(CMD_SET_REPLY, 2, kMac, kDiscoveredIp)},
         {{K::PasswordError, 2}}},
        {"DHCP refresh failed",
         AgentList::Monitor,
         {Status(CMD_UNICAST_SET_REPLY, 6)},
         {{K::DhcpRefreshFailed, 6}}},
        {"command error",
         AgentList::Monitor,
         {Status(CMD_UNICAST_SET_REPLY, 3)},
         {{K::Refused, 3}}},
        {"parameter error",
         AgentList::Discovery,
         {Status(CMD_SET_REPLY, 4, kMac, kDiscoveredIp)},
         {{K::Refused, 4}}},
        {"unknown status",
         AgentList::Monitor,
         {Status(CMD_UNICAST_SET_REPLY, 9)},
         {{K::Refused, 9}}},
        // Only the agent answers for itself: a stranger that knows its MAC,
        // or another agent at its address, is not its answer.
        {"its MAC from another address",
         AgentList::Monitor,
         {Status(CMD_UNICAST_SET_REPLY, 5, kMac, kOtherIp)},
         {}},
        {"its address with another MAC",
         AgentList::Monitor,
         {Status(CMD_UNICAST_SET_REPLY, 5, kOtherMac, kMonitoredIp)},
         {}},
        {"a discovery-list agent's MAC from a stranger",
         AgentList::Discovery,
         {Status(CMD_SET_REPLY, 2, kMac, kOtherIp)},
         {}},
        {"another agent's status",
         AgentList::Monitor,
         {Status(CMD_UNICAST_SET_REPLY, 2, kOtherMac, kOtherIp)},
         {}},
        {"upgrade trigger reply", AgentList::Monitor, {Status(CMD_UPGRADE_TRIGGER_REPLY, 2)}, {}},
        {"discovery reply",
         AgentList::Discovery,
         {Status(CMD_DISCOVERY_REPLY, 3, kMac, kDiscoveredIp)},
         {}},
        {"a stray reply, then the answer",
         AgentList::Monitor,
         {Status(CMD_UPGRADE_TRIGGER_REPLY, 3),
          Status(CMD_UNICAST_SET_REPLY, 2, kOtherMac, kOtherIp), Confirmation()},
         {{K::Succeeded, 0}}},
        {"two confirmations",
         AgentList::Monitor,
         {Confirmation(), Confirmation()},
         {{K::Succeeded, 0}}},
        {"confirmation, then a status",
         AgentList::Monitor,
         {Confirmation(), Status(CMD_UNICAST_SET_REPLY, 2)},
         {{K::Succeeded, 0}}},
        {"status, then a confirmation",
         AgentList::Monitor,
         {Status(CMD_UNICAST_SET_REPLY, 3), Confirmation()},
         {{K::Refused, 3}}},
        {"two statuses",
         AgentList::Monitor,
         {Status(CMD_UNICAST_SET_REPLY, 6), Status(CMD_UNICAST_SET_REPLY, 2)},
         {{K::DhcpRefreshFailed, 6}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig t;
        t.Start(c.list);
        t.sender.EndRejoin();
        ASSERT_EQ(t.order.back(), "sent");

        for (const Answer& a : c.answers)
            Feed(t.events, a);

        EXPECT_EQ(t.answers, c.expected);
        EXPECT_TRUE(t.run_failures.empty());
    }
}

TEST(SetRun, AnswersBeforeTheRequestWentOutAreNotItsAnswers) {
    Rig t;
    // Nothing started yet.
    t.events.OnSetConfirmed({kMac, kMonitoredIp});
    t.events.OnStatusReply({CMD_UNICAST_SET_REPLY, STATUS_PASSWORD_ERROR, kMac, kMonitoredIp});
    EXPECT_TRUE(t.answers.empty());

    // Started, the re-join still under way.
    t.Start(AgentList::Monitor);
    t.events.OnSetConfirmed({kMac, kMonitoredIp});
    t.events.OnStatusReply({CMD_UNICAST_SET_REPLY, STATUS_PASSWORD_ERROR, kMac, kMonitoredIp});
    EXPECT_TRUE(t.answers.empty());

    t.sender.EndRejoin();
    t.events.OnSetConfirmed({kMac, kMonitoredIp});
    EXPECT_EQ(t.answers, (std::vector<SetAnswer>{{SetAnswer::Kind::Succeeded, 0}}));
}

TEST(SetRun, EachRequestGetsItsOwnAnswer) {
    Rig t;
    t.Start(AgentList::Monitor);
    t.sender.EndRejoin();
    t.events.OnStatusReply({CMD_UNICAST_SET_REPLY, STATUS_PASSWORD_ERROR, kMac, kMonitoredIp});

    t.Start(AgentList::Monitor);
    EXPECT_EQ(t.sender.held.size(), 1u) << "a new run once the last one is over";
    t.sender.EndRejoin();
    EXPECT_EQ(t.sender.sent.size(), 2u);
    t.events.OnSetConfirmed({kMac, kMonitoredIp});

    EXPECT_EQ(t.answers, (std::vector<SetAnswer>{{SetAnswer::Kind::PasswordError, 2},
                                                 {SetAnswer::Kind::Succeeded, 0}}));
}

TEST(SetRun, RunDestroyedDuringTheRejoinLeavesTheContinuationHarmless) {
    Rig t;
    t.Start(AgentList::Monitor);
    ASSERT_EQ(t.sender.held.size(), 1u);
    const std::vector<std::string> before = t.order;

    t.run.reset();
    t.sender.EndRejoin();

    EXPECT_EQ(t.payload_reads, 0);
    EXPECT_TRUE(t.sender.sent.empty());
    EXPECT_TRUE(t.events_failures.empty());
    EXPECT_EQ(t.order, before);
    EXPECT_EQ(t.state.exchange.pending_mac, "");

    // The events go on without it.
    t.events.OnSetConfirmed({kMac, kMonitoredIp});
    EXPECT_TRUE(t.answers.empty());
}

} // namespace
