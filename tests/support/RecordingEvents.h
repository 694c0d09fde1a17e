#pragma once
// Records what the protocol logic reports, in order, for tests to assert on.
// No test framework here, so the fuzz targets can use it too.

#include "protocol/seams/Outcomes.h"

#include <functional>
#include <string>
#include <vector>

class RecordingEvents : public kestrel::ProtocolEvents {
public:
    std::vector<kestrel::SendFailure> send_failures;
    std::vector<kestrel::StatusReply> status_replies;
    std::vector<kestrel::SetConfirmation> confirmations;
    std::vector<kestrel::AgentStored> stored;
    std::vector<kestrel::AgentLost> lost;
    std::vector<std::string> discovery_replies; // MAC texts
    std::vector<std::string> trigger_acks;      // MAC texts
    int table_full = 0;
    // Kept apart from `order`: a drop is counted, never said.
    std::vector<kestrel::DropReason> dropped;
    // Every event by name, in order: "send failed", "status", "set confirmed",
    // "stored", "lost", "discovery reply", "trigger ack", "table full".
    std::vector<std::string> order;
    // Runs after each event, as a front end's box with its event loop would.
    std::function<void()> while_reporting;

    void OnSendFailed(const kestrel::SendFailure& f) override {
        send_failures.push_back(f);
        Note("send failed");
    }
    void OnStatusReply(const kestrel::StatusReply& r) override {
        status_replies.push_back(r);
        Note("status");
    }
    void OnSetConfirmed(const kestrel::SetConfirmation& c) override {
        confirmations.push_back(c);
        Note("set confirmed");
    }
    void OnAgentStored(const kestrel::AgentStored& s) override {
        stored.push_back(s);
        Note("stored");
    }
    void OnAgentLost(const kestrel::AgentLost& l) override {
        lost.push_back(l);
        Note("lost");
    }
    void OnDiscoveryReply(std::string_view mac) override {
        discovery_replies.emplace_back(mac);
        Note("discovery reply");
    }
    void OnTriggerAcknowledged(std::string_view mac) override {
        trigger_acks.emplace_back(mac);
        Note("trigger ack");
    }
    void OnDiscoveryTableFull() override {
        ++table_full;
        Note("table full");
    }

    void OnDatagramDropped(kestrel::DropReason reason) override { dropped.push_back(reason); }

private:
    void Note(const char* what) {
        order.emplace_back(what);
        if (while_reporting)
            while_reporting();
    }
};
