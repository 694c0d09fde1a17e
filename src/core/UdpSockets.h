#pragma once
// The program's three UDP sockets: broadcast on the base port P, multicast
// on P+6 (member of the multicast group), unicast on P+1. Every datagram that
// arrives goes to one receive callback, tagged with its sender and socket.

#include "protocol/Notifier.h"
#include "protocol/ProgramState.h"
#include "protocol/Seams.h"

#include <QObject>
#include <QUdpSocket>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>

namespace kestrel {

class UdpSockets : public QObject, public DatagramSender {
    Q_OBJECT
public:
    using ReceiveCallback =
        std::function<void(std::span<const uint8_t> datagram, uint32_t sender_ip, SocketKind)>;

    // A wake-up reads at most this many datagrams from each socket, so a
    // flood cannot hold the window's thread; the rest raise the next wake-up.
    static constexpr int kMaxDatagramsPerWakeup = 64;

    // The settings must be loaded before the sockets are opened.
    UdpSockets(const ProtocolSettings& settings, Notifier& notifier, QObject* parent = nullptr);
    ~UdpSockets() override;

    void SetReceiveCallback(ReceiveCallback callback) { receive_ = std::move(callback); }

    // Each shows its failure ("Creat Socket error", "Bind socket error", or
    // for the group join the closing message) and returns false.
    bool OpenBroadcastSocket();
    bool OpenMulticastSocket();
    bool OpenUnicastSocket();

    bool IsOpen(SocketKind kind) const;

    bool SendDatagram(SocketKind from, std::span<const uint8_t> bytes, uint32_t address,
                      uint16_t port) override;
    bool EnableBroadcast() override;
    // Leave, 200 ms, join, 300 ms; blocks for the half second, failures ignored.
    void RejoinMulticastGroup() override;

    // Broadcast, multicast, unicast, in that order; only the first call acts.
    void CloseSockets();

private:
    QUdpSocket& Socket(SocketKind kind);
    const QUdpSocket& Socket(SocketKind kind) const;
    bool Open(SocketKind kind, uint16_t port);
    // Reads the sockets in turn, one datagram each, up to the wake-up limit.
    void ReadPending(std::initializer_list<SocketKind> kinds);
    // Hands one datagram of the socket over; false when it had none.
    bool ReadOne(SocketKind kind);

    const ProtocolSettings& settings_;
    Notifier& notifier_;
    ReceiveCallback receive_;
    bool closed_ = false;
    QUdpSocket broadcast_;
    QUdpSocket multicast_;
    QUdpSocket unicast_;
};

} // namespace kestrel
