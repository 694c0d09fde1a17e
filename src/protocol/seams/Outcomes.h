#pragma once
// What the protocol logic reports about the network, as values. Each front
// end turns them into its own words in one place: the window into message
// boxes, kestrel-cli into lines, JSON and exit codes.

#include "protocol/lists/DeviceTables.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel {

// A datagram that could not be sent, and which one it was.
enum class SendKind {
    Poll,             // a polling pass ("polling error %d")
    Resend,           // the alive check's resend to a silent agent
    BroadcastOption,  // SO_BROADCAST refused before a discovery request
    Discovery,        // a discovery request (broadcast or its group copy)
    SetBroadcast,     // a set request to a discovery-list agent
    SetUnicast,       // a set request to a monitor-list agent
    PasswordUnicast,  // a password change to a monitor-list agent
    UpgradeTrigger,   // the upgrade trigger
    TftpWriteRequest, // the firmware write request
    TftpData,         // a firmware DATA block
};

struct SendFailure {
    SendKind kind = SendKind::Poll;
    int error_code = 0; // the system's errno; 0 when unknown
    bool operator==(const SendFailure&) const = default;
};

// An agent's reply with a non-zero status: it refused what it was asked.
struct StatusReply {
    uint16_t command = 0;
    int status = 0;
    std::string mac_text;
    uint32_t ip = 0; // the sender's address
    bool operator==(const StatusReply&) const = default;
};

// The set request awaiting its answer was answered with success.
struct SetConfirmation {
    std::string mac_text;
    uint32_t ip = 0; // the address the agent reports
    bool operator==(const SetConfirmation&) const = default;
};

// An agent's reply was stored in one of the tables.
struct AgentStored {
    AgentList list = AgentList::Discovery;
    int index = 0;
    bool added = false; // a new row rather than a refreshed one
    bool back = false;  // a monitored agent that had been declared not alive
    uint16_t command = 0;
    uint32_t sender_ip = 0; // where the reply came from: tells the card it was heard on
    bool operator==(const AgentStored&) const = default;
};

// A monitored agent declared not alive by the alive check.
struct AgentLost {
    int index = 0;
    std::string ip_text;
    std::string mac_text;
    bool first = false; // it had been answering until now
    bool operator==(const AgentLost&) const = default;
};

// Why a received datagram was dropped without a word.
enum class DropReason {
    Short,          // shorter than the header
    ForeignUtility, // another utility's identifier
    SubVersion,     // a sub-version other than 1
    StaleSequence,  // a set or trigger reply whose request was answered already
};

class ProtocolEvents {
public:
    virtual ~ProtocolEvents() = default;
    virtual void OnSendFailed(const SendFailure&) {}
    virtual void OnStatusReply(const StatusReply&) {}
    virtual void OnSetConfirmed(const SetConfirmation&) {}
    virtual void OnAgentStored(const AgentStored&) {}
    virtual void OnAgentLost(const AgentLost&) {}
    // A discovery reply, before it is stored (the rediscovery after an
    // upgrade waits for its agent's).
    virtual void OnDiscoveryReply(std::string_view /*mac_text*/) {}
    // An agent accepted the upgrade trigger.
    virtual void OnTriggerAcknowledged(std::string_view /*mac_text*/) {}
    // The discovery table has no room for one more agent.
    virtual void OnDiscoveryTableFull() {}
    // A datagram dropped by the receive path's header checks.
    virtual void OnDatagramDropped(DropReason) {}
};

} // namespace kestrel
