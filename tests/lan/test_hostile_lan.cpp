// A hostile or busy network against the real window: boxes raised by
// replies never make a socket deaf or bury the user, and a full table of
// replies survives a moment in which the window's thread is busy.

#include "AgentReply.h"
#include "SimProcess.h"
#include "gui/WindowFixture.h"
#include "protocol/PacketHeader.h"
#include "protocol/SettingsDefaults.h"

#include <QHostAddress>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <thread>

using namespace kestrel;

namespace {

constexpr uint32_t kWorkstation = 0xC6120001; // 198.18.0.1

sim::AgentSettings Agent(uint32_t ip, uint8_t last_mac_byte) {
    sim::AgentSettings a;
    a.ip = ip;
    a.mac = {0x02, 0x4B, 0x53, 0x00, 0x00, last_mac_byte};
    a.product_name = "Kestrel test agent";
    a.system_name = "hostile";
    a.location = "lab";
    a.utility_id = DefaultSettings().utility_id;
    a.interface_version = 3;
    a.group_interval = -1;
    return a;
}

// The count of "(This message came N more times.)", 0 without it.
int Repeats(const std::string& text) {
    const std::string mark = "(This message came ";
    const std::size_t at = text.find(mark);
    return at == std::string::npos ? 0 : std::stoi(text.substr(at + mark.size()));
}

class HostileLan : public ShownWindowFixture {
protected:
    bool Listed(const QString& ip) {
        QTreeWidget& list = window->discoveryList();
        for (int row = 0; row < list.topLevelItemCount(); ++row)
            if (list.topLevelItem(row)->text(1) == ip)
                return true;
        return false;
    }
};

TEST_F(HostileLan, ErrorRepliesNeitherDeafenTheUnicastSocketNorStackBoxes) {
    // The first box stays open, its event loop running, until the valid
    // reply has been listed (or five seconds have passed).
    bool listed_while_open = false;
    std::size_t boxes_while_open = 0;
    notifier.while_showing = [&] {
        if (notifier.shown.size() != 1)
            return;
        listed_while_open =
            QTest::qWaitFor([&] { return Listed(QStringLiteral("198.18.6.6")); }, 5000);
        boxes_while_open = notifier.shown.size();
    };
    const uint16_t unicast_port = DefaultSettings().base_port + 1;
    QUdpSocket attacker;
    ASSERT_TRUE(attacker.bind(QHostAddress(0xC6120505u), 0)); // 198.18.5.5
    const sim::Bytes error =
        sim::BuildStateReply(Agent(0xC6120505u, 5), CMD_DISCOVERY_REPLY, STATUS_PASSWORD_ERROR, 0);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(attacker.writeDatagram(reinterpret_cast<const char*>(error.data()),
                                         static_cast<qint64>(error.size()),
                                         QHostAddress(kWorkstation), unicast_port),
                  static_cast<qint64>(error.size()));
    QUdpSocket agent;
    ASSERT_TRUE(agent.bind(QHostAddress(0xC6120606u), 0)); // 198.18.6.6
    const sim::Bytes valid =
        sim::BuildStateReply(Agent(0xC6120606u, 6), CMD_DISCOVERY_REPLY, STATUS_OK, 0);
    ASSERT_EQ(agent.writeDatagram(reinterpret_cast<const char*>(valid.data()),
                                  static_cast<qint64>(valid.size()), QHostAddress(kWorkstation),
                                  unicast_port),
              static_cast<qint64>(valid.size()));

    // The valid reply is listed while the first box is still open, and no
    // second box opens over it; closing it brings one box that counts the
    // other 99, then nothing more.
    ASSERT_TRUE(QTest::qWaitFor([&] { return notifier.shown.size() >= 2; }, 8000));
    EXPECT_TRUE(listed_while_open);
    EXPECT_EQ(boxes_while_open, 1u);
    // Every one of the 100 is accounted for, in two boxes: the first, with
    // the repeats read before it opened, then those that came while it was.
    int told = 1;
    for (const ShownMessage& box : notifier.shown) {
        EXPECT_EQ(box.text.rfind("Device return : password error", 0), 0u) << box.text;
        told += Repeats(box.text);
    }
    QTest::qWait(200);
    EXPECT_EQ(notifier.shown.size(), 2u);
    EXPECT_EQ(told, 100);

    // And the socket still hears what comes next.
    const sim::Bytes later =
        sim::BuildStateReply(Agent(0xC6120707u, 7), CMD_DISCOVERY_REPLY, STATUS_OK, 0);
    QUdpSocket third;
    ASSERT_TRUE(third.bind(QHostAddress(0xC6120707u), 0));
    ASSERT_EQ(third.writeDatagram(reinterpret_cast<const char*>(later.data()),
                                  static_cast<qint64>(later.size()), QHostAddress(kWorkstation),
                                  unicast_port),
              static_cast<qint64>(later.size()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Listed(QStringLiteral("198.18.7.7")); }, 3000));
}

TEST_F(HostileLan, ABusyWindowLosesNoReplyOfAFullTable) {
    test::SimProcess sim;
    // Unpaced: every agent answers within a few milliseconds.
    ASSERT_TRUE(sim.Start({.agents = {}, .count = 256, .args = {"--pace-us", "0"}})) << sim.Error();
    // Right after the request leaves, the window's thread is busy for 100 ms.
    QObject::connect(&window->network(), &NetworkSession::discoverySent,
                     [] { std::this_thread::sleep_for(std::chrono::milliseconds(100)); });
    QTest::mouseClick(Find<QPushButton>("ctl1001"), Qt::LeftButton);
    const bool all =
        QTest::qWaitFor([&] { return window->discoveryList().topLevelItemCount() >= 256; }, 10000);
    EXPECT_TRUE(all) << window->discoveryList().topLevelItemCount() << " of 256 listed";
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(HostileLan, SocketsStayAwakeAcrossFloodsOfReplies) {
    // Unpaced answers to both copies arrive on the two sockets of one
    // notification faster than a wake-up reads them; a socket whose datagram
    // its partner's read took must not fall asleep for the next discovery.
    test::SimProcess sim;
    ASSERT_TRUE(sim.Start({.agents = {}, .count = 256, .args = {"--pace-us", "0"}})) << sim.Error();
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE(round);
        QTest::mouseClick(Find<QPushButton>("ctl1001"), Qt::LeftButton);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return sim.Count("DISCOVERY_REPLY") >= 512 * round; }, 10000));
        const bool all = QTest::qWaitFor(
            [&] { return window->discoveryList().topLevelItemCount() >= 256; }, 10000);
        EXPECT_TRUE(all) << window->discoveryList().topLevelItemCount() << " of 256 listed";
        QTest::qWait(300); // the second copies
    }
}

} // namespace
