#include "UdpSockets.h"

#include "LocalNetworks.h"
#include "SocketMessages.h"
#include "protocol/discovery/Discovery.h"
#include "protocol/wire/PacketHeader.h"

#include <QHostAddress>
#include <QMetaObject>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QVariant>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string>

#include <sys/socket.h>

namespace kestrel {

namespace {
constexpr int kRejoinLeaveMs = 200;
constexpr int kRejoinJoinMs = 300;
} // namespace

UdpSockets::UdpSockets(const ProtocolSettings& settings, Notifier& notifier, QObject* parent)
    : QObject(parent), settings_(settings), notifier_(notifier), rejoin_timer_(this) {
    broadcast_.setObjectName(QStringLiteral("broadcastSocket"));
    multicast_.setObjectName(QStringLiteral("multicastSocket"));
    unicast_.setObjectName(QStringLiteral("unicastSocket"));
    // The broadcast and multicast sockets share one notification: either
    // wakes both, and the broadcast socket is read first.
    for (const SocketKind kind : {SocketKind::Broadcast, SocketKind::Multicast})
        connect(&Socket(kind), &QUdpSocket::readyRead, this, &UdpSockets::ReadPair);
    connect(&unicast_, &QUdpSocket::readyRead, this, &UdpSockets::ReadUnicast);
    for (QTimer* drain : {&pair_drain_, &unicast_drain_}) {
        drain->setSingleShot(true);
        drain->setInterval(0);
    }
    connect(&pair_drain_, &QTimer::timeout, this, &UdpSockets::ReadPair);
    connect(&unicast_drain_, &QTimer::timeout, this, &UdpSockets::ReadUnicast);

    rejoin_timer_.setObjectName(QStringLiteral("rejoinTimer"));
    rejoin_timer_.setSingleShot(true);
    rejoin_timer_.setTimerType(Qt::PreciseTimer);
    connect(&rejoin_timer_, &QTimer::timeout, this, &UdpSockets::OnRejoinTimer);
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
    if (socket.bind(QHostAddress(QHostAddress::AnyIPv4), port, QAbstractSocket::DontShareAddress)) {
        SizeReceiveBuffer(socket);
        return true;
    }
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
    group_ = MulticastGroupAddress(settings_);
    ReadCards();
    if (group_ && JoinGroup())
        return true;
    multicast_.abort();
    notifier_.Show(kGroupJoinFail);
    return false;
}

bool UdpSockets::OpenUnicastSocket() {
    return Open(SocketKind::Unicast, settings_.UnicastPort());
}

void UdpSockets::SizeReceiveBuffer(QUdpSocket& socket) {
    socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, kWantedReceiveBuffer);
    const int granted = socket.socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toInt();
    if (granted >= kNeededReceiveBuffer || buffer_cap_reported_)
        return;
    buffer_cap_reported_ = true;
    const std::string text = std::string(kReceiveBufferCapped.text) + " to " +
                             std::to_string(granted) +
                             " bytes: replies of many agents may be lost while the window is "
                             "busy.\nAn administrator can allow more, for example with\n"
                             "sysctl -w net.core.rmem_max=" +
                             std::to_string(kWantedReceiveBuffer);
    notifier_.Show(kReceiveBufferCapped.WithText(text));
}

int UdpSockets::ReceiveBufferSize(SocketKind kind) {
    if (!IsOpen(kind))
        return 0;
    return Socket(kind).socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toInt();
}

void UdpSockets::ReadPending(std::initializer_list<SocketKind> kinds) {
    const bool pair = kinds.size() > 1;
    QTimer& drain = pair ? pair_drain_ : unicast_drain_;
    drain.stop();
    // One datagram from each socket in turn, as long as any has one. A
    // socket found empty is left alone for the rest of this pass.
    std::array<bool, 3> empty{};
    for (int n = 0; n < kMaxDatagramsPerWakeup; ++n) {
        bool any = false;
        for (const SocketKind kind : kinds) {
            bool& none_left = empty[static_cast<std::size_t>(kind)];
            if (!none_left)
                none_left = !ReadOne(kind);
            any = any || !none_left;
        }
        if (!any)
            return;
    }
    // A socket whose datagrams are left unread need not be signalled again:
    // the rest is read on a later pass of the event loop, from a zero timer
    // rather than a posted call, so that painting, input and the program's
    // own timers get their turn between the batches of a flood.
    if (!closed_)
        drain.start();
}

bool UdpSockets::ReadOne(SocketKind kind) {
    QUdpSocket& socket = Socket(kind);
    if (!IsOpen(kind))
        return false;
    // Always a read, also when nothing seems pending: the socket is woken
    // together with its partner, and one that was signalled but found empty
    // (its partner's read took the datagram, or nothing came) is signalled
    // again only once it has been read from. A datagram longer than the
    // receive buffer is cut to it.
    // Into one buffer for every read: a discovery brings hundreds at once.
    quint16 port = 0;
    const qint64 size =
        socket.readDatagram(reinterpret_cast<char*>(receive_buffer_.data()),
                            static_cast<qint64>(receive_buffer_.size()), &sender_address_, &port);
    if (size < 0)
        return false;
    bool ipv4 = false;
    const uint32_t sender = sender_address_.toIPv4Address(&ipv4);
    if (receive_ && ipv4)
        receive_(std::span(receive_buffer_.data(), static_cast<std::size_t>(size)), sender, kind);
    return true;
}

bool UdpSockets::SendDatagram(SocketKind from, std::span<const uint8_t> bytes, uint32_t address,
                              uint16_t port) {
    if (!IsOpen(from)) {
        last_send_error_ = EBADF;
        return false;
    }
    if (from == SocketKind::Unicast)
        return SendOn(from, bytes, address, port, 0);
    RefreshCards();
    if (cards_.empty()) {
        last_send_report_.clear();
        return SendOn(from, bytes, address, port, 0);
    }
    std::string sent, failed;
    for (const LocalNetwork& card : cards_) {
        if (SendOn(from, bytes, address, port, card.card_index)) {
            sent += (sent.empty() ? "" : ", ") + card.card_name;
            continue;
        }
        failed += (failed.empty() ? "" : "; ") + card.card_name + " (" +
                  std::strerror(last_send_error_) + ")";
    }
    last_send_report_ = sent.empty() ? "Sent on no card" : "Sent on " + sent;
    if (!failed.empty())
        last_send_report_ += "; not on " + failed;
    return !sent.empty();
}

bool UdpSockets::SendOn(SocketKind from, std::span<const uint8_t> bytes, uint32_t address,
                        uint16_t port, int card) {
    QNetworkDatagram datagram(QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                                      static_cast<qsizetype>(bytes.size())),
                              QHostAddress(address), port);
    // The card goes with the datagram (IP_PKTINFO), for this send only.
    if (card != 0)
        datagram.setInterfaceIndex(static_cast<uint>(card));
    const auto size = static_cast<qint64>(bytes.size());
    errno = 0;
    if (Socket(from).writeDatagram(datagram) == size)
        return true;
    // errno still holds the failed sendmsg's code; Qt's own code otherwise.
    last_send_error_ = errno != 0 ? errno : static_cast<int>(Socket(from).error());
    return false;
}

void UdpSockets::ReadCards() {
    networks_ = ReadLocalNetworks();
    cards_ = BroadcastCards(networks_);
}

void UdpSockets::RefreshCards() {
    ReadCards();
    // Not while a re-join is under way: it joins every card itself.
    if (!IsOpen(SocketKind::Multicast) || !group_ || rejoin_step_ != RejoinStep::Idle)
        return;
    const QHostAddress group(*group_);
    const auto is_card = [&](int index) {
        return std::any_of(cards_.begin(), cards_.end(),
                           [&](const LocalNetwork& c) { return c.card_index == index; });
    };
    // A card that went down or away leaves the group, so that it joins
    // afresh when it is back.
    std::erase_if(joined_, [&](int index) {
        if (index == 0 || is_card(index))
            return false;
        multicast_.leaveMulticastGroup(group, QNetworkInterface::interfaceFromIndex(index));
        return true;
    });
    if (cards_.empty())
        return;
    // The system's choice was for want of cards; now each card has its own.
    if (std::erase(joined_, 0) > 0)
        multicast_.leaveMulticastGroup(group);
    for (const LocalNetwork& card : cards_) {
        if (std::find(joined_.begin(), joined_.end(), card.card_index) == joined_.end() &&
            multicast_.joinMulticastGroup(group,
                                          QNetworkInterface::interfaceFromIndex(card.card_index)))
            joined_.push_back(card.card_index);
    }
}

bool UdpSockets::JoinGroup() {
    const QHostAddress group(*group_);
    joined_.clear();
    if (cards_.empty()) {
        if (multicast_.joinMulticastGroup(group))
            joined_.push_back(0);
    }
    for (const LocalNetwork& card : cards_) {
        if (multicast_.joinMulticastGroup(group,
                                          QNetworkInterface::interfaceFromIndex(card.card_index)))
            joined_.push_back(card.card_index);
    }
    return !joined_.empty();
}

void UdpSockets::LeaveGroup() {
    const QHostAddress group(*group_);
    for (const int index : joined_) {
        if (index == 0)
            multicast_.leaveMulticastGroup(group);
        else
            multicast_.leaveMulticastGroup(group, QNetworkInterface::interfaceFromIndex(index));
    }
    joined_.clear();
}

bool UdpSockets::EnableBroadcast() {
    if (!IsOpen(SocketKind::Broadcast))
        return false;
    const int on = 1;
    return ::setsockopt(static_cast<int>(broadcast_.socketDescriptor()), SOL_SOCKET, SO_BROADCAST,
                        &on, sizeof on) == 0;
}

void UdpSockets::RejoinMulticastGroup(std::function<void()> then) {
    if (!IsOpen(SocketKind::Multicast) || !group_) {
        if (then)
            then();
        return;
    }
    after_rejoin_.push_back(std::move(then));
    if (rejoin_step_ != RejoinStep::Idle)
        return; // the re-join under way serves this caller too
    LeaveGroup();
    rejoin_step_ = RejoinStep::Left;
    rejoin_timer_.start(kRejoinLeaveMs);
}

void UdpSockets::OnRejoinTimer() {
    if (rejoin_step_ == RejoinStep::Left) {
        // On the cards there are now.
        ReadCards();
        JoinGroup();
        rejoin_step_ = RejoinStep::Joined;
        rejoin_timer_.start(kRejoinJoinMs);
        return;
    }
    rejoin_step_ = RejoinStep::Idle;
    // Taken first: a caller may start the next re-join.
    std::vector<std::function<void()>> waiting;
    waiting.swap(after_rejoin_);
    for (const auto& then : waiting) {
        if (closed_)
            return;
        if (then)
            then();
    }
}

void UdpSockets::CloseSockets() {
    if (closed_)
        return;
    closed_ = true;
    // Nothing waits for a re-join of a socket that is gone.
    rejoin_timer_.stop();
    pair_drain_.stop();
    unicast_drain_.stop();
    rejoin_step_ = RejoinStep::Idle;
    after_rejoin_.clear();
    broadcast_.close();
    multicast_.close();
    unicast_.close();
}

} // namespace kestrel
