// Whole firmware images written by FirmwareTransfer to a simulated agent,
// byte for byte, every packet to port 69. Runs inside scripts/lan.

#include "TftpLanFixture.h"

#include "core/CoreEvents.h"
#include "core/NetworkSession.h"
#include "protocol/settings/SettingsDefaults.h"
#include "protocol/words/OutcomeWords.h"
#include "support/CoreState.h"
#include "support/FakeListHooks.h"
#include "support/FakeNotifier.h"
#include "upgrade/RediscoveryTimer.h"

#include <QTimer>

#include <algorithm>

using namespace kestrel;
using namespace kestrel::test;

namespace {

class TftpLanTest : public TftpLanFixture {};

struct ImageCase {
    std::size_t size;
    std::string complete_text;
};

TEST_F(TftpLanTest, ImagesArriveByteForByteAndEndAfterTheWait) {
    StartSim();
    const std::vector<ImageCase> cases = {
        {0, "Complete...0/0 bytes"},
        {1000, "Complete...1000/1000 bytes"},
        {1024, "Complete...1024/1024 bytes"},
        {(1 << 20) + 123, "Complete...1048699/1048699 bytes"},
    };
    for (const ImageCase& c : cases) {
        SCOPED_TRACE(c.size);
        Trigger();
        const std::string path = WriteImage(c.size);
        states.clear();
        progress.clear();
        ends.clear();
        const std::size_t from = sim.Lines().size();

        // The window's thread keeps running: a 20 ms timer is never held up long.
        QElapsedTimer gap_clock;
        gap_clock.start();
        qint64 longest_gap = 0;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout,
                         [&] { longest_gap = std::max(longest_gap, gap_clock.restart()); });
        probe.start(20);

        ASSERT_TRUE(Open(path));
        EXPECT_TRUE(transfer.IsOpen());
        ASSERT_TRUE(WaitFinished(60000));
        probe.stop();
        EXPECT_EQ(outcome, UpgradeEndKind::Completed);
        ASSERT_EQ(ends.size(), 1u);
        EXPECT_EQ(ends[0].sent, c.size);
        EXPECT_EQ(ends[0].total, c.size);
        EXPECT_FALSE(transfer.IsOpen());
        EXPECT_TRUE(send_failures.empty());
        EXPECT_TRUE(logs.empty());
        EXPECT_EQ(progress, EveryBlockOf(c.size));

        EXPECT_TRUE(
            sim.WaitForLine("TFTP 198.18.1.2 wrq from=198.18.0.1:64517 name=" + path, 1000, from));
        EXPECT_TRUE(sim.WaitForLine(StoredLine(path), 1000, from));
        ASSERT_FALSE(states.empty());
        EXPECT_EQ(states.back(), c.complete_text);
        if (c.size > 1024) {
            EXPECT_EQ(states.front(), "Upgrade...1024/1048699 bytes");
        }
        // Finished only after the five seconds that follow the last ACK.
        EXPECT_GE(finished_after_ms, 5000);
        EXPECT_LT(longest_gap, 1000);
        // The agent reboots after its image; wait until it is back.
        ASSERT_TRUE(sim.WaitForLine("STATE 198.18.1.2 back", 10000, from));
    }
}

TEST_F(TftpLanTest, ADroppedAckIsSurvived) {
    StartSim("tftp_drop_ack=2");
    Trigger();
    const std::string path = WriteImage(2000);
    ASSERT_TRUE(Open(path));
    ASSERT_TRUE(WaitFinished(30000));
    EXPECT_EQ(outcome, UpgradeEndKind::Completed);
    EXPECT_TRUE(sim.WaitForLine("TFTP 198.18.1.2 ack-dropped block=2", 1000));
    // Block 2 went again after two ticks of timer 1, and was stored once.
    EXPECT_TRUE(sim.WaitForLine(StoredLine(path), 1000));
    EXPECT_GE(finished_after_ms, 3000 + 5000);
    EXPECT_EQ(states.back(), "Complete...2000/2000 bytes");
    // The resent block is no new progress.
    EXPECT_EQ(progress, EveryBlockOf(2000));
    EXPECT_TRUE(send_failures.empty());
}

TEST_F(TftpLanTest, ALostWriteRequestAnswerIsSurvived) {
    StartSim("tftp_drop_ack=0");
    Trigger();
    const std::string path = WriteImage(600);
    ASSERT_TRUE(Open(path));
    ASSERT_TRUE(WaitFinished(30000));
    EXPECT_EQ(outcome, UpgradeEndKind::Completed);
    EXPECT_TRUE(sim.WaitForLine("TFTP 198.18.1.2 wrq repeated", 1000));
    EXPECT_TRUE(sim.WaitForLine(StoredLine(path), 1000));
}

// The end of a transfer starts the rediscovery, which finds the agent back
// after its reboot.
TEST_F(TftpLanTest, ACompletedTransferIsFollowedByTheRediscoveryVerdict) {
    StartSim("iface=3");
    CoreState state;
    state.settings = DefaultSettings();
    FakeListHooks lists(state.tables);
    CoreEvents events;
    FakeNotifier session_boxes;
    NetworkSession session({.settings = state.settings,
                            .exchange = state.exchange,
                            .tables = state.tables,
                            .lists = lists,
                            .events = events,
                            .notifier = session_boxes});
    ASSERT_TRUE(session.OpenBroadcastSocket());
    ASSERT_TRUE(session.OpenMulticastSocket());
    ASSERT_TRUE(session.OpenUnicastSocket());
    RediscoveryTimer rediscovery(state.settings, state.tables.discovery, session.sockets(), lists,
                                 events);
    QObject::connect(&transfer, &FirmwareTransfer::Finished, [&](const UpgradeEnd& e) {
        if (e.kind == UpgradeEndKind::Completed)
            rediscovery.Start("020000000002");
    });
    std::vector<Rediscovery::Outcome> verdicts;
    QObject::connect(&rediscovery, &RediscoveryTimer::Finished,
                     [&](Rediscovery::Outcome o) { verdicts.push_back(o); });

    Trigger();
    ASSERT_TRUE(Open(WriteImage(5000)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !verdicts.empty(); }, 60000));
    EXPECT_EQ(outcome, UpgradeEndKind::Completed);
    EXPECT_EQ(verdicts, std::vector<Rediscovery::Outcome>{Rediscovery::Outcome::Succeeded});
    // The box the window shows for it.
    EXPECT_EQ(RediscoveryMessage(verdicts[0]),
              (Message{"Upgrade successful", "information", MessageIcon::Information}));
    EXPECT_TRUE(session_boxes.shown.empty());
    // The agent had rebooted before it was found again.
    EXPECT_TRUE(sim.WaitForLine("STATE 198.18.1.2 back", 1000));
}

// What the port check above rests on: the agent answers from its reply
// port, and DATA sent there, as an RFC 1350 client would, is reported.
TEST_F(TftpLanTest, DataToTheAcksPortWouldBeReported) {
    StartSim();
    Trigger();
    check_ports = false;
    PlainSocket client(0);
    ASSERT_TRUE(client.Bound());
    const std::vector<uint8_t> wrq = {0x00, 0x02, 'f', 0x00, 'o', 'c', 't', 'e', 't', 0x00};
    ASSERT_TRUE(client.Send(wrq, kAgentIp, 69));
    const auto answers = client.Collect(1, 3000);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].bytes, (std::vector<uint8_t>{0x00, 0x04, 0x00, 0x00}));
    EXPECT_EQ(answers[0].src, kAgentIp);
    ASSERT_EQ(answers[0].src_port, 50069);
    ASSERT_TRUE(client.Send(std::vector<uint8_t>{0x00, 0x03, 0x00, 0x01}, kAgentIp, 50069));
    EXPECT_TRUE(sim.WaitForLine("TFTP BAD to-reply-port from=198.18.0.1:", 3000));
    EXPECT_EQ(sim.Count("stored"), 0);
}

} // namespace
