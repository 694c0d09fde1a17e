#pragma once
// The program's three UDP sockets: broadcast on the base port P, multicast
// on P+6 (member of the multicast group), unicast on P+1. Every datagram that
// arrives goes to one receive callback, tagged with its sender and socket.
//
// A datagram to the broadcast address leaves by one card only, the one the
// routing table picks, and a group is joined on one card. So broadcast and
// group requests go out once on every card that can broadcast, and the group
// is joined on each; the cards are read again at every such request, so
// cards that come and go are followed. Without any such card the system
// chooses, as it does for unicast.

#include "protocol/seams/Notifier.h"
#include "protocol/seams/Seams.h"
#include "protocol/settings/ProtocolSettings.h"
#include "protocol/wire/LocalNetwork.h"
#include "protocol/wire/PacketHeader.h"

#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrel {

class UdpSockets : public QObject, public DatagramSender {
    Q_OBJECT
public:
    using ReceiveCallback =
        std::function<void(std::span<const uint8_t> datagram, uint32_t sender_ip, SocketKind)>;

    // A wake-up reads at most this many datagrams from each socket, so a
    // flood cannot hold the window's thread; the rest are read in a queued
    // call right after, whatever the socket's own notifications do.
    static constexpr int kMaxDatagramsPerWakeup = 64;
    // Every socket asks for this receive buffer, so that a full table of
    // replies (256 agents) waits in the system while the window's thread is
    // busy for a moment.
    static constexpr int kWantedReceiveBuffer = 1 << 20;
    // What 256 replies of a common size take in the system's accounting;
    // a buffer the system caps below it is reported once.
    static constexpr int kNeededReceiveBuffer = 256 * 1536;

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
    int LastSendError() const override { return last_send_error_; }
    bool EnableBroadcast() override;
    // Leave, 200 ms, join, 300 ms, then `then`; timers, not sleeps, so the
    // window keeps painting and receiving. Failures are ignored.
    void RejoinMulticastGroup(std::function<void()> then) override;
    bool rejoining() const { return rejoin_step_ != RejoinStep::Idle; }

    // This computer's networks as read at the last broadcast or group
    // request (or the opening of the multicast socket).
    const std::vector<LocalNetwork>& networks() const { return networks_; }
    // The cards the last broadcast or group request went out on, and those
    // it could not, with the reason: "Sent on kws0, kws1".
    const std::string& lastSendReport() const { return last_send_report_; }

    // The receive buffer the system granted the socket, in bytes (0 when it
    // is not open).
    int ReceiveBufferSize(SocketKind kind);

    // Broadcast, multicast, unicast, in that order; only the first call acts.
    void CloseSockets();

private:
    QUdpSocket& Socket(SocketKind kind);
    const QUdpSocket& Socket(SocketKind kind) const;
    bool Open(SocketKind kind, uint16_t port);
    // Reads the sockets in turn, one datagram each, up to the wake-up limit.
    void ReadPending(std::initializer_list<SocketKind> kinds);
    void ReadPair() { ReadPending({SocketKind::Broadcast, SocketKind::Multicast}); }
    void ReadUnicast() { ReadPending({SocketKind::Unicast}); }
    // Hands one datagram of the socket over; false when it had none.
    bool ReadOne(SocketKind kind);
    void SizeReceiveBuffer(QUdpSocket& socket);
    // One datagram; on the given card (its index), or where the system
    // routes it (0).
    bool SendOn(SocketKind from, std::span<const uint8_t> bytes, uint32_t address, uint16_t port,
                int card);
    // Reads the networks and the cards among them.
    void ReadCards();
    // ReadCards, then the group joined on new cards and left on gone ones.
    void RefreshCards();
    // The group on every card, or where the system chooses when there is
    // none; true when joined somewhere.
    bool JoinGroup();
    void LeaveGroup();
    void OnRejoinTimer();

    enum class RejoinStep { Idle, Left, Joined };

    const ProtocolSettings& settings_;
    Notifier& notifier_;
    ReceiveCallback receive_;
    bool closed_ = false;
    int last_send_error_ = 0;
    bool buffer_cap_reported_ = false;
    // Drain what one wake-up left unread on the next pass of the event loop.
    QTimer pair_drain_;
    QTimer unicast_drain_;
    std::array<uint8_t, kMaxDatagram> receive_buffer_{};
    QHostAddress sender_address_;
    // The group, parsed once by the same rule as every send to it.
    std::optional<uint32_t> group_;
    std::vector<LocalNetwork> networks_;
    std::vector<LocalNetwork> cards_;
    // Cards the group is joined on; 0 for the system's choice.
    std::vector<int> joined_;
    std::string last_send_report_;
    RejoinStep rejoin_step_ = RejoinStep::Idle;
    std::vector<std::function<void()>> after_rejoin_;
    QTimer rejoin_timer_;
    QUdpSocket broadcast_;
    QUdpSocket multicast_;
    QUdpSocket unicast_;
};

} // namespace kestrel
