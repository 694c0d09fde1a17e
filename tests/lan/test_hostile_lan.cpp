// A hostile or busy network against the real window: boxes raised by
// replies never make a socket deaf or bury the user, and a full table of
// replies survives a moment in which the window's thread is busy.

#include "AgentReply.h"
#include "SimProcess.h"
#include "gui/WindowFixture.h"
#include "protocol/settings/SettingsDefaults.h"
#include "protocol/wire/PacketHeader.h"

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
    const uint16_t unicast_port = DefaultSettings().base_port + 1;
    QUdpSocket attacker;
    ASSERT_TRUE(attacker.bind(QHostAddress(0xC6120505u), 0)); // 198.18.5.5
    const sim::Bytes error =
        sim::BuildStateReply(Agent(0xC6120505u, 5), CMD_DISCOVERY_REPLY, STATUS_PASSWORD_ERROR, 0);
    const auto send_errors = [&](int n) {
        for (int i = 0; i < n; ++i)
            if (attacker.writeDatagram(
                    reinterpret_cast<const char*>(error.data()), static_cast<qint64>(error.size()),
                    QHostAddress(kWorkstation), unicast_port) != static_cast<qint64>(error.size()))
                return false;
        return true;
    };
    QUdpSocket agent;
    ASSERT_TRUE(agent.bind(QHostAddress(0xC6120606u), 0)); // 198.18.6.6
    const sim::Bytes valid =
        sim::BuildStateReply(Agent(0xC6120606u, 6), CMD_DISCOVERY_REPLY, STATUS_OK, 0);

    // While the first box is open, its event loop running, another 100
    // error replies and then a valid one arrive: the valid one must be
    // listed (or five seconds pass) and no second box may open over it.
    bool sent_while_open = false;
    bool listed_while_open = false;
    std::size_t boxes_while_open = 0;
    notifier.while_showing = [&] {
        if (notifier.shown.size() != 1)
            return;
        sent_while_open =
            send_errors(100) &&
            agent.writeDatagram(reinterpret_cast<const char*>(valid.data()),
                                static_cast<qint64>(valid.size()), QHostAddress(kWorkstation),
                                unicast_port) == static_cast<qint64>(valid.size());
        listed_while_open =
            QTest::qWaitFor([&] { return Listed(QStringLiteral("198.18.6.6")); }, 5000);
        boxes_while_open = notifier.shown.size();
    };
    ASSERT_TRUE(send_errors(100));

    // Closing the first box brings one box that counts those that came while
    // it was open, then nothing more.
    ASSERT_TRUE(QTest::qWaitFor([&] { return notifier.shown.size() >= 2; }, 8000));
    EXPECT_TRUE(sent_while_open);
    EXPECT_TRUE(listed_while_open);
    EXPECT_EQ(boxes_while_open, 1u);
    QTest::qWait(200);
    ASSERT_EQ(notifier.shown.size(), 2u);
    // Every one of the 200 is accounted for: the first box with the repeats
    // read before it opened, the second counting at least the 100 sent while
    // the first was open.
    int told = 1;
    for (const ShownMessage& box : notifier.shown) {
        EXPECT_EQ(box.text.rfind("Device return : password error", 0), 0u) << box.text;
        told += Repeats(box.text);
    }
    EXPECT_GE(Repeats(notifier.shown[1].text), 100);
    EXPECT_EQ(told, 200);

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
