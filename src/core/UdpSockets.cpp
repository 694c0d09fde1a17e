#include "UdpSockets.h"

#include "SocketMessages.h"
#include "protocol/PacketHeader.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QThread>

#include <sys/socket.h>

namespace kestrel {

namespace {

QHostAddress MulticastGroup(const ProtocolSettings& settings) {
    const QHostAddress group(QString::fromStdString(settings.multicast_group));
    if (group.protocol() != QAbstractSocket::IPv4Protocol || !group.isMulticast())
        return {};
    return group;
}

} // namespace

UdpSockets::UdpSockets(const ProtocolSettings& settings, Notifier& notifier, QObject* parent)
    : QObject(parent), settings_(settings), notifier_(notifier) {
    broadcast_.setObjectName(QStringLiteral("broadcastSocket"));
    multicast_.setObjectName(QStringLiteral("multicastSocket"));
    unicast_.setObjectName(QStringLiteral("unicastSocket"));
    // The broadcast and multicast sockets share one notification: either
    // wakes both, and the broadcast socket is read first.
    for (const SocketKind kind : {SocketKind::Broadcast, SocketKind::Multicast})
        connect(&Socket(kind), &QUdpSocket::readyRead, this, [this] {
            ReadPending({SocketKind::Broadcast, SocketKind::Multicast});
        });
    connect(&unicast_, &QUdpSocket::readyRead, this,
            [this] { ReadPending({SocketKind::Unicast}); });
}

UdpSockets::~UdpSockets() = default;

QUdpSocket& UdpSockets::Socket(SocketKind kind) {
    switch (kind) {
    case SocketKind::Broadcast:
        return broadcast_;
    case SocketKind::Multicast:
        return multicast_;
    case SocketKind::Unicast:
        break;
    }
    return unicast_;
}

const QUdpSocket& UdpSockets::Socket(SocketKind kind) const {
    return const_cast<UdpSockets*>(this)->Socket(kind);
}

bool UdpSockets::IsOpen(SocketKind kind) const {
    return Socket(kind).state() == QAbstractSocket::BoundState;
}

bool UdpSockets::Open(SocketKind kind, uint16_t port) {
    QUdpSocket& socket = Socket(kind);
    if (closed_)
        return false;
    if (IsOpen(kind))
        return true;
    // Exclusive, like the platform default elsewhere: a second copy of the
    // program must not silently share the ports.
    if (socket.bind(QHostAddress(QHostAddress::AnyIPv4), port, QAbstractSocket::DontShareAddress))
        return true;
    const QAbstractSocket::SocketError error = socket.error();
    socket.abort();
    const bool not_created = error == QAbstractSocket::UnsupportedSocketOperationError ||
                             error == QAbstractSocket::SocketResourceError;
    notifier_.Show(not_created ? kCreateSocketError : kBindSocketError);
    return false;
}

bool UdpSockets::OpenBroadcastSocket() {
    return Open(SocketKind::Broadcast, settings_.BroadcastPort());
}

bool UdpSockets::OpenMulticastSocket() {
    if (!Open(SocketKind::Multicast, settings_.MulticastPort()))
        return false;
    const QHostAddress group = MulticastGroup(settings_);
    if (!group.isNull() && multicast_.joinMulticastGroup(group))
        return true;
    multicast_.abort();
    notifier_.Show(kGroupJoinFail);
    return false;
}

bool UdpSockets::OpenUnicastSocket() {
    return Open(SocketKind::Unicast, settings_.UnicastPort());
}

void UdpSockets::ReadPending(std::initializer_list<SocketKind> kinds) {
    // One datagram from each socket in turn, as long as any has one.
    for (int n = 0; n < kMaxDatagramsPerWakeup; ++n) {
        bool any = false;
        for (const SocketKind kind : kinds)
            any = ReadOne(kind) || any;
        if (!any)
            break;
    }
}

bool UdpSockets::ReadOne(SocketKind kind) {
    QUdpSocket& socket = Socket(kind);
    if (!socket.hasPendingDatagrams())
        return false;
    // A datagram longer than the receive buffer is cut to it.
    const QNetworkDatagram datagram = socket.receiveDatagram(kMaxDatagram);
    if (!datagram.isValid())
        return false;
    const QByteArray data = datagram.data();
    bool ipv4 = false;
    const uint32_t sender = datagram.senderAddress().toIPv4Address(&ipv4);
    if (receive_ && ipv4)
        receive_(std::span(reinterpret_cast<const uint8_t*>(data.constData()),
                           static_cast<std::size_t>(data.size())),
                 sender, kind);
    return true;
}

bool UdpSockets::SendDatagram(SocketKind from, std::span<const uint8_t> bytes, uint32_t address,
                              uint16_t port) {
    if (!IsOpen(from))
        return false;
    const auto size = static_cast<qint64>(bytes.size());
    return Socket(from).writeDatagram(reinterpret_cast<const char*>(bytes.data()), size,
                                      QHostAddress(address), port) == size;
}

bool UdpSockets::EnableBroadcast() {
    if (!IsOpen(SocketKind::Broadcast))
        return false;
    const int on = 1;
    return ::setsockopt(static_cast<int>(broadcast_.socketDescriptor()), SOL_SOCKET, SO_BROADCAST,
                        &on, sizeof on) == 0;
}

void UdpSockets::RejoinMulticastGroup() {
    if (!IsOpen(SocketKind::Multicast))
        return;
    const QHostAddress group = MulticastGroup(settings_);
    if (group.isNull())
        return;
    multicast_.leaveMulticastGroup(group);
    QThread::msleep(200);
    multicast_.joinMulticastGroup(group);
    QThread::msleep(300);
}

void UdpSockets::CloseSockets() {
    if (closed_)
        return;
    closed_ = true;
    broadcast_.close();
    multicast_.close();
    unicast_.close();
}

} // namespace kestrel
