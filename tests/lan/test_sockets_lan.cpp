// The three sockets on a private simulated LAN: what arrives where, with
// which sender, what goes out from which port, and how failures are told.

#include "core/UdpSockets.h"
#include "protocol/discovery/Discovery.h"

#include "support/FakeNotifier.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <optional>

#include <sys/socket.h>

#include <string>
#include <vector>

using namespace kestrel;

namespace {

constexpr uint16_t kBasePort = 47300;
constexpr uint32_t kWorkstation = 0xC6120001; // 198.18.0.1
constexpr uint32_t kAgent = 0xC6120505;       // 198.18.5.5, local in the simulated LAN
const char* const kGroup = "239.255.255.250";

struct Received {
    QByteArray bytes;
    uint32_t sender;
    SocketKind kind;
};

const ShownMessage kBindError{"Bind socket error", "Error", MessageIcon::Error};
const ShownMessage kJoinError{"Please check you network connection.\nUtility will close.", "Error",
                              MessageIcon::Error};

class SocketsLan : public ::testing::Test {
protected:
    SocketsLan() {
        settings.base_port = kBasePort;
        settings.multicast_group = kGroup;
        sockets.SetReceiveCallback(
            [this](std::span<const uint8_t> datagram, uint32_t sender, SocketKind kind) {
                received.push_back({QByteArray(reinterpret_cast<const char*>(datagram.data()),
                                               static_cast<qsizetype>(datagram.size())),
                                    sender, kind});
            });
    }

    void OpenAll() {
        ASSERT_TRUE(sockets.OpenBroadcastSocket());
        ASSERT_TRUE(sockets.OpenMulticastSocket());
        ASSERT_TRUE(sockets.OpenUnicastSocket());
        ASSERT_TRUE(notifier.shown.empty());
    }

    // A socket standing for an agent, sending from its own address.
    static void BindAgent(QUdpSocket& agent, uint16_t port = 0) {
        ASSERT_TRUE(agent.bind(QHostAddress(kAgent), port)) << agent.errorString().toStdString();
        const int on = 1;
        ASSERT_EQ(::setsockopt(static_cast<int>(agent.socketDescriptor()), SOL_SOCKET, SO_BROADCAST,
                               &on, sizeof on),
                  0);
    }

    // Multicast looped back with a source from the agents' local range counts
    // as martian to the kernel; a group sender uses the workstation's address.
    static void BindGroupSender(QUdpSocket& sender) {
        ASSERT_TRUE(sender.bind(QHostAddress(kWorkstation), 0))
            << sender.errorString().toStdString();
    }

    bool WaitForReceived(std::size_t count) {
        return QTest::qWaitFor([&] { return received.size() >= count; }, 3000);
    }

    ProtocolSettings settings;
    FakeNotifier notifier;
    UdpSockets sockets{settings, notifier};
    std::vector<Received> received;
};

TEST_F(SocketsLan, EachSocketReceivesItsOwnTrafficWithTheSender) {
    OpenAll();
    QUdpSocket agent;
    BindAgent(agent);
    QUdpSocket group_sender;
    BindGroupSender(group_sender);

    struct Case {
        const char* name;
        QUdpSocket* from;
        uint32_t sender;
        QHostAddress to;
        uint16_t port;
        SocketKind kind;
    };
    const Case cases[] = {
        {"broadcast", &agent, kAgent, QHostAddress(QHostAddress::Broadcast), kBasePort,
         SocketKind::Broadcast},
        {"multicast", &group_sender, kWorkstation, QHostAddress(QString::fromLatin1(kGroup)),
         kBasePort + 6, SocketKind::Multicast},
        {"unicast", &agent, kAgent, QHostAddress(kWorkstation), kBasePort + 1, SocketKind::Unicast},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        received.clear();
        const QByteArray payload = QByteArray("hello ") + c.name;
        ASSERT_EQ(c.from->writeDatagram(payload, c.to, c.port), payload.size());
        ASSERT_TRUE(WaitForReceived(1));
        QTest::qWait(50); // nothing else may turn up, on any socket
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(received[0].bytes, payload);
        EXPECT_EQ(received[0].sender, c.sender);
        EXPECT_EQ(received[0].kind, c.kind);
    }
}

TEST_F(SocketsLan, EveryPendingDatagramIsHandedOver) {
    OpenAll();
    QUdpSocket agent;
    BindAgent(agent);

    // More than one wake-up reads, all queued before the event loop runs.
    const int total = 3 * UdpSockets::kMaxDatagramsPerWakeup + 5;
    for (int i = 0; i < total; ++i)
        ASSERT_EQ(
            agent.writeDatagram(QByteArray::number(i), QHostAddress(kWorkstation), kBasePort + 1),
            QByteArray::number(i).size());
    QUdpSocket group_sender;
    BindGroupSender(group_sender);
    ASSERT_TRUE(agent.writeDatagram("b", QHostAddress(QHostAddress::Broadcast), kBasePort) == 1);
    ASSERT_TRUE(group_sender.writeDatagram("m", QHostAddress(QString::fromLatin1(kGroup)),
                                           kBasePort + 6) == 1);

    ASSERT_TRUE(WaitForReceived(static_cast<std::size_t>(total) + 2)) << received.size();
    std::vector<QByteArray> unicast;
    int broadcast = 0;
    int multicast = 0;
    for (const Received& r : received) {
        if (r.kind == SocketKind::Unicast)
            unicast.push_back(r.bytes);
        broadcast += r.kind == SocketKind::Broadcast && r.bytes == "b";
        multicast += r.kind == SocketKind::Multicast && r.bytes == "m";
    }
    ASSERT_EQ(unicast.size(), static_cast<std::size_t>(total));
    for (int i = 0; i < total; ++i)
        EXPECT_EQ(unicast[static_cast<std::size_t>(i)], QByteArray::number(i));
    EXPECT_EQ(broadcast, 1);
    EXPECT_EQ(multicast, 1);
}

// A flood is read in batches, and the program's timers (polling, the alive
// check, the keep-alive) and painting get their turn between two batches,
// not only once the socket has run dry.
TEST_F(SocketsLan, TimersRunBetweenTheBatchesOfAFlood) {
    OpenAll();
    QUdpSocket agent;
    BindAgent(agent);
    std::optional<std::size_t> read_when_timer_ran;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, [&] { read_when_timer_ran = received.size(); });
    sockets.SetReceiveCallback([&](std::span<const uint8_t>, uint32_t sender, SocketKind kind) {
        received.push_back({QByteArray(), sender, kind});
        if (received.size() == 1)
            timer.start();
    });

    const int total = 5 * UdpSockets::kMaxDatagramsPerWakeup;
    for (int i = 0; i < total; ++i)
        ASSERT_EQ(agent.writeDatagram("x", 1, QHostAddress(kWorkstation), kBasePort + 1), 1);

    ASSERT_TRUE(WaitForReceived(static_cast<std::size_t>(total))) << received.size();
    ASSERT_TRUE(read_when_timer_ran.has_value());
    // The batch that started it, and at most the one its socket signalled.
    EXPECT_LE(*read_when_timer_ran, 2u * UdpSockets::kMaxDatagramsPerWakeup);
}

// The broadcast and multicast sockets are read as a pair: when both hold a
// datagram, the broadcast socket's is handled first, whichever arrived or was
// opened first.
TEST_F(SocketsLan, BroadcastSocketIsReadBeforeTheMulticastSocket) {
    ASSERT_TRUE(sockets.OpenMulticastSocket());
    ASSERT_TRUE(sockets.OpenBroadcastSocket());
    QUdpSocket agent;
    BindAgent(agent);
    QUdpSocket group_sender;
    BindGroupSender(group_sender);
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        received.clear();
        ASSERT_EQ(group_sender.writeDatagram("m", QHostAddress(QString::fromLatin1(kGroup)),
                                             kBasePort + 6),
                  1);
        ASSERT_EQ(agent.writeDatagram("b", QHostAddress(QHostAddress::Broadcast), kBasePort), 1);
        // Both are queued before the event loop looks at the sockets.
        QThread::msleep(20);
        ASSERT_TRUE(WaitForReceived(2));
        EXPECT_EQ(received[0].kind, SocketKind::Broadcast);
        EXPECT_EQ(received[0].bytes, "b");
        EXPECT_EQ(received[1].kind, SocketKind::Multicast);
        EXPECT_EQ(received[1].bytes, "m");
    }
}

TEST_F(SocketsLan, LongDatagramIsCutTo1500Bytes) {
    OpenAll();
    QUdpSocket agent;
    BindAgent(agent);
    const QByteArray long_datagram(2000, 'x');
    ASSERT_EQ(agent.writeDatagram(long_datagram, QHostAddress(kWorkstation), kBasePort + 1), 2000);
    ASSERT_TRUE(WaitForReceived(1));
    EXPECT_EQ(received[0].bytes, long_datagram.left(1500));
}

TEST_F(SocketsLan, SendDatagramLeavesFromEachSocketsPort) {
    OpenAll();
    ASSERT_TRUE(sockets.EnableBroadcast());
    QUdpSocket agent; // any address: hears broadcast, multicast and unicast
    ASSERT_TRUE(agent.bind(QHostAddress(QHostAddress::AnyIPv4), kBasePort + 2));
    ASSERT_TRUE(agent.joinMulticastGroup(QHostAddress(QString::fromLatin1(kGroup))));

    struct Case {
        SocketKind from;
        uint32_t to;
        uint16_t source_port;
    };
    const Case cases[] = {
        {SocketKind::Broadcast, kLimitedBroadcast, kBasePort},
        {SocketKind::Multicast, 0xEFFFFFFA, kBasePort + 6},
        {SocketKind::Unicast, kWorkstation, kBasePort + 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.from));
        const std::vector<uint8_t> request = {0x00, 0x02, 0x00, 0x00, static_cast<uint8_t>(c.from)};
        ASSERT_TRUE(sockets.SendDatagram(c.from, request, c.to, kBasePort + 2));
        ASSERT_TRUE(QTest::qWaitFor([&] { return agent.hasPendingDatagrams(); }, 3000));
        const QNetworkDatagram got = agent.receiveDatagram();
        EXPECT_EQ(got.data(), QByteArray(reinterpret_cast<const char*>(request.data()),
                                         static_cast<qsizetype>(request.size())));
        EXPECT_EQ(got.senderPort(), c.source_port);
        QTest::qWait(20);
        EXPECT_FALSE(agent.hasPendingDatagrams());
    }
}

TEST_F(SocketsLan, SendingFromASocketThatIsNotOpenFails) {
    const std::vector<uint8_t> request(40, 0);
    EXPECT_FALSE(sockets.SendDatagram(SocketKind::Unicast, request, kAgent, kBasePort + 2));
    EXPECT_FALSE(sockets.EnableBroadcast());
    ASSERT_TRUE(sockets.OpenUnicastSocket());
    EXPECT_TRUE(sockets.SendDatagram(SocketKind::Unicast, request, kAgent, kBasePort + 2));
    EXPECT_FALSE(
        sockets.SendDatagram(SocketKind::Broadcast, request, kLimitedBroadcast, kBasePort + 2));
}

TEST_F(SocketsLan, TakenPortGivesBindSocketError) {
    struct Case {
        const char* name;
        uint16_t port;
        bool (UdpSockets::*open)();
        SocketKind kind;
    };
    const Case cases[] = {
        {"broadcast", kBasePort, &UdpSockets::OpenBroadcastSocket, SocketKind::Broadcast},
        {"multicast", kBasePort + 6, &UdpSockets::OpenMulticastSocket, SocketKind::Multicast},
        {"unicast", kBasePort + 1, &UdpSockets::OpenUnicastSocket, SocketKind::Unicast},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        notifier.shown.clear();
        QUdpSocket squatter;
        ASSERT_TRUE(squatter.bind(QHostAddress(QHostAddress::AnyIPv4), c.port));
        EXPECT_FALSE((sockets.*c.open)());
        EXPECT_EQ(notifier.shown, std::vector<ShownMessage>{kBindError});
        EXPECT_FALSE(sockets.IsOpen(c.kind));
    }
}

TEST_F(SocketsLan, ProgramAlreadyRunningCannotShareThePorts) {
    OpenAll();
    FakeNotifier second_notifier;
    UdpSockets second(settings, second_notifier);
    EXPECT_FALSE(second.OpenBroadcastSocket());
    EXPECT_FALSE(second.OpenMulticastSocket());
    EXPECT_FALSE(second.OpenUnicastSocket());
    EXPECT_EQ(second_notifier.shown,
              (std::vector<ShownMessage>{kBindError, kBindError, kBindError}));
}

TEST_F(SocketsLan, GroupThatCannotBeJoinedEndsTheMulticastSocket) {
    for (const char* group : {"198.18.0.9", "", "not an address"}) {
        SCOPED_TRACE(group);
        notifier.shown.clear();
        settings.multicast_group = group;
        EXPECT_FALSE(sockets.OpenMulticastSocket());
        EXPECT_EQ(notifier.shown, std::vector<ShownMessage>{kJoinError});
        EXPECT_FALSE(sockets.IsOpen(SocketKind::Multicast));
    }
}

TEST_F(SocketsLan, RejoinWaitsHalfASecondWithoutBlockingAndKeepsTheMembership) {
    OpenAll();
    QElapsedTimer clock;
    clock.start();
    // A second caller while the re-join runs joins it: both go on once,
    // in order, after one leave and join.
    std::vector<std::pair<int, qint64>> continued;
    sockets.RejoinMulticastGroup([&] { continued.emplace_back(1, clock.elapsed()); });
    EXPECT_TRUE(sockets.rejoining());
    EXPECT_TRUE(continued.empty()); // nothing slept: the caller returned at once
    int ticks = 0;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] { ++ticks; });
    probe.start(20);
    QTimer::singleShot(100, [&] {
        sockets.RejoinMulticastGroup([&] { continued.emplace_back(2, clock.elapsed()); });
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return continued.size() == 2; }, 3000));
    EXPECT_EQ(continued[0].first, 1);
    EXPECT_EQ(continued[1].first, 2);
    EXPECT_GE(continued[0].second, 500);
    EXPECT_LT(continued[1].second - continued[0].second, 100);
    EXPECT_GE(ticks, 5); // the event loop ran throughout
    EXPECT_FALSE(sockets.rejoining());

    QUdpSocket group_sender;
    BindGroupSender(group_sender);
    ASSERT_EQ(
        group_sender.writeDatagram("m", QHostAddress(QString::fromLatin1(kGroup)), kBasePort + 6),
        1);
    ASSERT_TRUE(WaitForReceived(1));
    EXPECT_EQ(received[0].kind, SocketKind::Multicast);
}

TEST_F(SocketsLan, PaddedGroupIsJoinedAndSentToAsTheSameAddress) {
    // Leading zeros are decimal: 239.010.020.030 is 239.10.20.30 for the
    // join, the re-join and the sends alike (never the octal 239.8.16.24).
    settings.multicast_group = "239.010.020.030";
    OpenAll();
    const QHostAddress group(QStringLiteral("239.10.20.30"));

    QUdpSocket group_sender;
    BindGroupSender(group_sender);
    ASSERT_EQ(group_sender.writeDatagram("j", group, kBasePort + 6), 1);
    ASSERT_TRUE(WaitForReceived(1));
    EXPECT_EQ(received[0].kind, SocketKind::Multicast);

    bool rejoined = false;
    sockets.RejoinMulticastGroup([&] { rejoined = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return rejoined; }, 3000));
    ASSERT_EQ(group_sender.writeDatagram("r", group, kBasePort + 6), 1);
    ASSERT_TRUE(WaitForReceived(2));
    EXPECT_EQ(received[1].bytes, "r");

    QUdpSocket agent;
    ASSERT_TRUE(agent.bind(QHostAddress(QHostAddress::AnyIPv4), kBasePort + 2));
    ASSERT_TRUE(agent.joinMulticastGroup(group));
    const std::optional<uint32_t> to = MulticastGroupAddress(settings);
    ASSERT_EQ(to, 0xEF0A141Eu);
    const std::vector<uint8_t> request(40, 0);
    ASSERT_TRUE(sockets.SendDatagram(SocketKind::Multicast, request, *to, kBasePort + 2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return agent.hasPendingDatagrams(); }, 3000));
    EXPECT_EQ(agent.receiveDatagram().data().size(), 40);
}

TEST_F(SocketsLan, ReceiveBuffersHoldAFullTableOfReplies) {
    OpenAll();
    for (const SocketKind kind :
         {SocketKind::Broadcast, SocketKind::Multicast, SocketKind::Unicast})
        EXPECT_GE(sockets.ReceiveBufferSize(kind), UdpSockets::kNeededReceiveBuffer);
}

TEST_F(SocketsLan, ABacklogPastOneWakeUpIsReadWithoutAnotherNotification) {
    OpenAll();
    QUdpSocket agent;
    BindAgent(agent);
    // Queued before the event loop runs: one notification for all of them.
    const int count = 3 * UdpSockets::kMaxDatagramsPerWakeup + 7;
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(
            agent.writeDatagram(QByteArray::number(i), QHostAddress(kWorkstation), kBasePort + 1),
            QByteArray::number(i).size());
    ASSERT_TRUE(QTest::qWaitFor([&] { return received.size() >= std::size_t(count); }, 5000))
        << received.size();
    EXPECT_EQ(received.back().bytes, QByteArray::number(count - 1));
}

TEST_F(SocketsLan, CloseSocketsTwiceIsHarmless) {
    OpenAll();
    sockets.CloseSockets();
    for (const SocketKind kind :
         {SocketKind::Broadcast, SocketKind::Multicast, SocketKind::Unicast})
        EXPECT_FALSE(sockets.IsOpen(kind));
    sockets.CloseSockets();
    const std::vector<uint8_t> request(40, 0);
    EXPECT_FALSE(sockets.SendDatagram(SocketKind::Unicast, request, kAgent, kBasePort + 2));
    bool continued = false; // nothing to rejoin: the caller goes on at once
    sockets.RejoinMulticastGroup([&] { continued = true; });
    EXPECT_TRUE(continued);

    // The ports are free again.
    QUdpSocket next;
    EXPECT_TRUE(next.bind(QHostAddress(QHostAddress::AnyIPv4), kBasePort + 1));
    EXPECT_TRUE(notifier.shown.empty());
}

} // namespace
