#pragma once
// The small interfaces through which the protocol logic reaches the sockets
// and the lists. The program implements them with QUdpSocket and the real
// widgets; tests use fakes.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

namespace kestrel {

struct DeviceRecord;

enum class SocketKind { Broadcast, Multicast, Unicast };

inline constexpr uint32_t kLimitedBroadcast = 0xFFFFFFFF;

class DatagramSender {
public:
    virtual ~DatagramSender() = default;
    // Sends one datagram from the given socket; false when the send failed.
    virtual bool SendDatagram(SocketKind from, std::span<const uint8_t> bytes, uint32_t address,
                              uint16_t port) = 0;
    // The system's error code of the last failed send (errno); 0 when unknown.
    virtual int LastSendError() const { return 0; }
    // SO_BROADCAST on the broadcast socket; false when refused.
    virtual bool EnableBroadcast() = 0;
    // Leave the multicast group, 200 ms, join it again, 300 ms, then `then`.
    // The pauses are waited for without blocking; a call while a re-join is
    // under way adds its `then` to that one instead of starting another.
    virtual void RejoinMulticastGroup(std::function<void()> then) = 0;
};

// Positions of the first selected row of each list, remembered across a
// refresh that rebuilds rows.
struct SelectionMemo {
    std::optional<int> monitor_row;
    std::optional<int> discovery_row;
};

class ListHooks {
public:
    virtual ~ListHooks() = default;
    // Show record i: insert its row when row_state is 0, else rewrite it.
    virtual void RefreshDiscoveryRow(int i) = 0;
    virtual void RefreshMonitorRow(int i) = 0;
    virtual void ClearDiscoveryRows() = 0;
    // The discovery row of the agent with this MAC text.
    virtual void RemoveDiscoveryRow(std::string_view mac_text) = 0;
    // The monitor row with this IP text, else (when mac_text is not empty)
    // the one with this MAC text.
    virtual void RemoveMonitorRow(std::string_view ip_text, std::string_view mac_text) = 0;
    virtual SelectionMemo RememberSelection() = 0;
    virtual void RestoreSelection(const SelectionMemo& memo) = 0;
};

class TrapHandler {
public:
    virtual ~TrapHandler() = default;
    // A trap datagram that passed the header checks; fields are the bytes
    // after the header, staging the record filled from the header.
    virtual void HandleTrap(std::span<const uint8_t> fields, const DeviceRecord& staging) = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual std::tm LocalNow() const = 0;
};

} // namespace kestrel
