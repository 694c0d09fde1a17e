// A firmware write that fails: the agent's ERROR, a silent agent, an agent
// that stops answering halfway, and what is refused before anything is
// sent. Runs inside scripts/lan.

#include "TftpLanFixture.h"

#include <QProcess>
#include <QTimer>

#include <algorithm>

using namespace kestrel;
using namespace kestrel::test;

namespace {

class TftpFaultsLanTest : public TftpLanFixture {
protected:
    // Report lines that contain text, once `expected` have been written or
    // after a second: the last datagram left just before the verdict.
    int ReportedCount(const std::string& text, int expected) {
        if (QTest::qWaitFor([&] { return sim.Count(text) >= expected; }, 1000))
            QTest::qWait(200); // room for one too many to show
        return sim.Count(text);
    }
};

const std::string kHint = "\nThe device will reboot, please wait for a few seconds";

TEST_F(TftpFaultsLanTest, AnErrorAtABlockIsShownLoggedAndEndsTheTransfer) {
    StartSim("tftp_error_at=3 tftp_error_text=\"bad flash\"");
    Trigger();
    ASSERT_TRUE(Open(WriteImage(4000), 0));
    ASSERT_TRUE(WaitFinished(10000));
    EXPECT_EQ(outcome, TftpOutcome::DeviceError);
    EXPECT_EQ(notifier.shown, (std::vector<ShownMessage>{
                                  {"bad flash" + kHint, "upgrade fail", MessageIcon::Error}}));
    EXPECT_EQ(logs, (std::vector<std::string>{"bad flash"}));
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(states.back(), " ");
    EXPECT_FALSE(transfer.IsOpen());
    EXPECT_TRUE(sim.WaitForLine("TFTP 198.18.1.2 error-sent block=3", 1000));
    EXPECT_EQ(sim.Count("stored"), 0);
}

TEST_F(TftpFaultsLanTest, ClosedWhileTheErrorBoxIsOpenSaysNoMore) {
    StartSim("tftp_error_at=1");
    Trigger();
    notifier.while_showing = [&] { transfer.Close(); };
    ASSERT_TRUE(Open(WriteImage(4000)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !notifier.shown.empty(); }, 10000));
    QTest::qWait(100);
    EXPECT_EQ(notifier.Texts(), (std::vector<std::string>{"Flash write error" + kHint}));
    EXPECT_EQ(logs, (std::vector<std::string>{"Flash write error"}));
    // The dialog went: no state text and no end reported after its box.
    EXPECT_TRUE(states.empty());
    EXPECT_FALSE(outcome.has_value());
    EXPECT_FALSE(transfer.IsOpen());
}

TEST_F(TftpFaultsLanTest, ALongErrorToTheWriteRequestIsCut) {
    const std::string text(600, 'E');
    StartSim("tftp_error_at=0 tftp_error_text=" + text);
    Trigger();
    ASSERT_TRUE(Open(WriteImage(100), 0x20000000)); // a top bit: no reboot hint
    ASSERT_TRUE(WaitFinished(10000));
    EXPECT_EQ(outcome, TftpOutcome::DeviceError);
    const std::string cut = std::string(96, 'E') + "...";
    EXPECT_EQ(notifier.shown,
              (std::vector<ShownMessage>{{cut, "upgrade fail", MessageIcon::Error}}));
    EXPECT_EQ(logs, (std::vector<std::string>{cut}));
}

TEST_F(TftpFaultsLanTest, ASilentAgentIsNotFoundAfterFiveRetransmissions) {
    StartSim("silent=1");
    const std::string path = WriteImage(1000);
    ASSERT_TRUE(Open(path));
    ASSERT_TRUE(WaitFinished(15000));
    EXPECT_EQ(outcome, TftpOutcome::DeviceNotFound);
    EXPECT_EQ(states, (std::vector<std::string>{"Device not found"}));
    EXPECT_TRUE(logs.empty());
    EXPECT_TRUE(notifier.shown.empty());
    EXPECT_FALSE(transfer.IsOpen());
    // The write request and five more, the last at 9 s.
    EXPECT_EQ(ReportedCount("TFTP 198.18.1.2 ignored reason=silent", 6), 6);
    EXPECT_GE(finished_after_ms, 9000);
    EXPECT_LT(finished_after_ms, 11000);
}

TEST_F(TftpFaultsLanTest, SilenceHalfwayFailsAfterTenRetransmissionsAndStartWorksAgain) {
    StartSim("tftp_silent_at=3");
    Trigger();
    const std::string path = WriteImage(3000);
    ASSERT_TRUE(Open(path));
    ASSERT_TRUE(WaitFinished(45000));
    EXPECT_EQ(outcome, TftpOutcome::TransferFailed);
    // Blocks 1 and 2 were acknowledged; block 3 counted once.
    const std::string text = "Upgrade fail, translate 1536/3000 bytes";
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(states.back(), text);
    EXPECT_EQ(logs, (std::vector<std::string>{text}));
    EXPECT_FALSE(transfer.IsOpen());
    EXPECT_EQ(ReportedCount("TFTP 198.18.1.2 ignored reason=silent-at block=3", 11), 11);
    EXPECT_GE(finished_after_ms, 31500);

    // The dialog stays open and Start may be pressed again.
    ASSERT_TRUE(sim.Command("set 198.18.1.2 tftp_silent_at=-1"));
    Trigger();
    const std::size_t from = sim.Lines().size();
    ASSERT_TRUE(Open(path));
    ASSERT_TRUE(WaitFinished(20000));
    EXPECT_EQ(outcome, TftpOutcome::Completed);
    EXPECT_TRUE(sim.WaitForLine(StoredLine(path), 1000, from));
}

// Anyone may send to the client's port: thousands of junk datagrams a
// second neither hold the thread nor stop the write.
TEST_F(TftpFaultsLanTest, AFloodOnTheClientPortIsSurvived) {
    StartSim();
    Trigger();
    const std::string path = WriteImage(300000);
    PlainSocket stranger(0);
    ASSERT_TRUE(stranger.Bound());
    const std::vector<std::vector<uint8_t>> junk = {
        {0x00, 0x09, 0x00, 0x00}, {0x00, 0x04}, {}, {0x00, 0x03}, {0x00, 0x05, 0x00}};
    int sent = 0;
    QTimer flood;
    QObject::connect(&flood, &QTimer::timeout, [&] {
        for (int i = 0; i < 25; ++i, ++sent)
            stranger.Send(junk[static_cast<std::size_t>(sent) % junk.size()], 0xC6120001,
                          kTftpClientPort);
    });
    QElapsedTimer gap_clock;
    qint64 longest_gap = 0;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout,
                     [&] { longest_gap = std::max(longest_gap, gap_clock.restart()); });

    ASSERT_TRUE(Open(path));
    flood.start(5);
    gap_clock.start();
    probe.start(20);
    ASSERT_TRUE(WaitFinished(60000));
    flood.stop();
    probe.stop();
    EXPECT_GT(sent, 1000);
    EXPECT_EQ(outcome, TftpOutcome::Completed);
    EXPECT_TRUE(sim.WaitForLine(StoredLine(path), 1000));
    EXPECT_TRUE(notifier.shown.empty());
    EXPECT_LT(longest_gap, 1000);
}

TEST_F(TftpFaultsLanTest, NothingIsSentForATooLargeOrMissingImage) {
    StartSim();
    Trigger();
    // 65535 full blocks would need block number 0 again.
    const QString big = dir.filePath(QStringLiteral("big.hex"));
    {
        QFile file(big);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(65535LL * 512));
    }
    EXPECT_FALSE(Open(big.toStdString()));
    EXPECT_FALSE(Open(dir.filePath(QStringLiteral("missing.hex")).toStdString()));
    EXPECT_EQ(notifier.Texts(),
              (std::vector<std::string>{
                  "Firmware file too large: at most 65535 blocks of 512 bytes (33553919 bytes)",
                  "Open firmware file error"}));
    EXPECT_FALSE(transfer.IsOpen());
    QTest::qWait(500);
    EXPECT_EQ(sim.Count("TFTP 198.18.1.2"), 0);
    EXPECT_FALSE(outcome.has_value());
}

TEST_F(TftpFaultsLanTest, ASecondStartWhileOneRunsIsRefused) {
    StartSim("silent=1");
    ASSERT_TRUE(Open(WriteImage(10)));
    EXPECT_FALSE(Open(WriteImage(20)));
    EXPECT_EQ(notifier.Texts(), (std::vector<std::string>{"Bind tftps socket error"}));
    EXPECT_TRUE(transfer.IsOpen());
    transfer.Close();
    EXPECT_FALSE(transfer.IsOpen());
}

// A write request that cannot be sent is a failed start: nothing is left
// running behind it, and the next start is not refused as a second one.
TEST_F(TftpFaultsLanTest, AStartWhoseWriteRequestCannotBeSentLeavesNothingRunning) {
    StartSim();
    // Sends to this address are refused by a route of the private network.
    ASSERT_EQ(QProcess::execute(QStringLiteral("ip"),
                                {QStringLiteral("route"), QStringLiteral("replace"),
                                 QStringLiteral("prohibit"), QStringLiteral("203.0.113.7/32")}),
              0);
    const std::string path = WriteImage(1000);
    EXPECT_FALSE(transfer.OpenTftpSocket({0xCB007107u, path, 0}));
    EXPECT_EQ(notifier.Texts(), (std::vector<std::string>{"Write request send error"}));
    EXPECT_FALSE(transfer.IsOpen());
    notifier.shown.clear();
    QTest::qWait(2000); // past the first tick of the write-request timer
    EXPECT_TRUE(notifier.shown.empty());

    Trigger();
    ASSERT_TRUE(Open(path));
    ASSERT_TRUE(WaitFinished(20000));
    EXPECT_EQ(outcome, TftpOutcome::Completed);
    EXPECT_TRUE(notifier.shown.empty());
}

} // namespace
