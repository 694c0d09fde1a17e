#pragma once
// A DatagramSender and ListHooks pair for discovery tests. Both write to one
// shared log, so a test can check the order of effects across them, and each
// notes the table state it saw at the moment of the call.

#include "protocol/lists/DeviceTables.h"
#include "protocol/seams/Seams.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct SentDatagram {
    kestrel::SocketKind from;
    std::vector<uint8_t> bytes;
    uint32_t address;
    uint16_t port;
    int discovery_count; // rows of the discovery table when it was sent
    bool operator==(const SentDatagram&) const = default;
};

class RecordingSender : public kestrel::DatagramSender {
public:
    RecordingSender(const kestrel::DeviceTables& state, std::vector<std::string>& log)
        : state_(state), log_(log) {}

    bool broadcast_allowed = true;
    std::set<kestrel::SocketKind> failing;  // sends from these sockets fail
    std::optional<std::size_t> fail_number; // this send (0-based, over all) fails
    std::vector<SentDatagram> sent;         // every attempt, failed ones too
    int rejoins = 0;
    int error_code = 0; // what LastSendError reports

    bool SendDatagram(kestrel::SocketKind from, std::span<const uint8_t> bytes, uint32_t address,
                      uint16_t port) override {
        const std::size_t number = sent.size();
        sent.push_back(
            {from, {bytes.begin(), bytes.end()}, address, port, state_.discovery.count()});
        log_.push_back(from == kestrel::SocketKind::Broadcast   ? "send broadcast"
                       : from == kestrel::SocketKind::Multicast ? "send multicast"
                                                                : "send unicast");
        return !failing.contains(from) && fail_number != number;
    }
    int LastSendError() const override { return error_code; }
    bool EnableBroadcast() override {
        log_.push_back("enable broadcast");
        return broadcast_allowed;
    }
    void RejoinMulticastGroup(std::function<void()> then) override {
        ++rejoins;
        log_.push_back("rejoin");
        if (then)
            then();
    }

private:
    const kestrel::DeviceTables& state_;
    std::vector<std::string>& log_;
};

class RecordingLists : public kestrel::ListHooks {
public:
    RecordingLists(const kestrel::DeviceTables& state, std::vector<std::string>& log)
        : state_(state), log_(log) {}

    int clears = 0;
    // missed_polls of every monitored record when the rows were cleared.
    std::vector<std::vector<int>> missed_at_clear;

    void RefreshDiscoveryRow(int i) override {
        log_.push_back("refresh discovery " + std::to_string(i));
    }
    void RefreshMonitorRow(int i) override {
        log_.push_back("refresh monitor " + std::to_string(i));
    }
    void ClearDiscoveryRows() override {
        ++clears;
        std::vector<int> missed;
        for (int i = 0; i < state_.monitor.count(); ++i)
            missed.push_back(state_.monitor.records[static_cast<std::size_t>(i)].missed_polls);
        missed_at_clear.push_back(missed);
        log_.push_back("clear rows");
    }
    void RemoveDiscoveryRow(std::string_view mac_text) override {
        log_.push_back("remove discovery " + std::string(mac_text));
    }
    void RemoveMonitorRow(std::string_view ip_text, std::string_view) override {
        log_.push_back("remove monitor " + std::string(ip_text));
    }
    kestrel::SelectionMemo RememberSelection() override { return {}; }
    void RestoreSelection(const kestrel::SelectionMemo&) override {}

private:
    const kestrel::DeviceTables& state_;
    std::vector<std::string>& log_;
};
