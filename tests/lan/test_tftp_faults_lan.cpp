// A firmware write that fails: the agent's ERROR, a silent agent, an agent
// that stops answering halfway, and what is refused before anything is
// sent. Runs inside scripts/lan.

#include "TftpLanFixture.h"

#include "protocol/words/OutcomeWords.h"

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
    EXPECT_EQ(outcome, UpgradeEndKind::DeviceError);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].device_error, "bad flash");
    EXPECT_TRUE(ends[0].reboot_hint);
    EXPECT_EQ(DeviceErrorBoxes(), (std::vector<std::string>{"bad flash" + kHint}));
    EXPECT_TRUE(send_failures.empty());
    EXPECT_EQ(logs, (std::vector<std::string>{"bad flash"}));
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(states.back(), " ");
    EXPECT_FALSE(transfer.IsOpen());
    EXPECT_TRUE(sim.WaitForLine("TFTP 198.18.1.2 error-sent block=3", 1000));
    EXPECT_EQ(sim.Count("stored"), 0);
}

// A listener whose box's event loop closes the transfer (the dialog goes)
// hears no more of it: no end, and no block resent behind it.
TEST_F(TftpFaultsLanTest, ClosedWhileAListenerHearsOfABlockSaysNoMore) {
    StartSim("tftp_error_at=1");
    Trigger();
    while_reporting = [&] { transfer.Close(); };
    ASSERT_TRUE(Open(WriteImage(4000)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !progress.empty(); }, 10000));
    EXPECT_FALSE(transfer.IsOpen());
    // The agent's ERROR for block 1 finds the port closed, and timer 1 is
    // stopped: block 1 does not go again.
    EXPECT_TRUE(sim.WaitForLine("TFTP 198.18.1.2 error-sent block=1", 3000));
    QTest::qWait(2000);
    EXPECT_EQ(progress, (std::vector<TransferProgress>{EveryBlockOf(4000).front()}));
    EXPECT_EQ(sim.Count("TFTP 198.18.1.2 error reason=no-transfer"), 0);
    EXPECT_TRUE(ends.empty());
    EXPECT_FALSE(outcome.has_value());
    EXPECT_TRUE(states.empty());
    EXPECT_TRUE(logs.empty());
}

TEST_F(TftpFaultsLanTest, ALongErrorToTheWriteRequestIsCut) {
    const std::string text(600, 'E');
    StartSim("tftp_error_at=0 tftp_error_text=" + text);
    Trigger();
    ASSERT_TRUE(Open(WriteImage(100), 0x20000000)); // a top bit: no reboot hint
    ASSERT_TRUE(WaitFinished(10000));
    EXPECT_EQ(outcome, UpgradeEndKind::DeviceError);
    const std::string cut = std::string(96, 'E') + "...";
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].device_error, cut);
    EXPECT_FALSE(ends[0].reboot_hint);
    EXPECT_EQ(DeviceErrorBoxes(), (std::vector<std::string>{cut}));
    EXPECT_TRUE(progress.empty());
    EXPECT_EQ(logs, (std::vector<std::string>{cut}));
}

TEST_F(TftpFaultsLanTest, ASilentAgentIsNotFoundAfterFiveRetransmissions) {
    StartSim("silent=1");
    const std::string path = WriteImage(1000);
    ASSERT_TRUE(Open(path));
    ASSERT_TRUE(WaitFinished(15000));
    EXPECT_EQ(outcome, UpgradeEndKind::DeviceNotFound);
    EXPECT_EQ(states, (std::vector<std::string>{"Device not found"}));
    EXPECT_TRUE(logs.empty());
    EXPECT_TRUE(send_failures.empty());
    EXPECT_TRUE(DeviceErrorBoxes().empty());
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
    EXPECT_EQ(outcome, UpgradeEndKind::TransferFailed);
    // Blocks 1 and 2 were acknowledged; block 3 counted once.
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].sent, 1536u);
    EXPECT_EQ(ends[0].total, 3000u);
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
    EXPECT_EQ(outcome, UpgradeEndKind::Completed);
    EXPECT_TRUE(sim.WaitForLine(StoredLine(path), 1000, from));
}

// Only the agent speaks for its upload, and only an ACK of the block in
// flight is progress: with the agent silent from block 3, a stranger
// acknowledging every block in turn and a stale ACK repeated from the
// agent's own address (another port) neither complete the write nor keep it
// alive; it fails as a silent one does.
TEST_F(TftpFaultsLanTest, NeitherAStrangerNorAStaleAckCarriesTheUpload) {
    StartSim("tftp_silent_at=3");
    Trigger();
    const std::string path = WriteImage(3000);
    PlainSocket stranger(0, 0xC612013C); // 198.18.1.60
    PlainSocket stale(0, kAgentIp);
    ASSERT_TRUE(stranger.Bound());
    ASSERT_TRUE(stale.Bound());
    uint16_t next = 1;
    QTimer forger;
    QObject::connect(&forger, &QTimer::timeout, [&] {
        const uint8_t n_hi = static_cast<uint8_t>(next >> 8);
        const uint8_t n_lo = static_cast<uint8_t>(next);
        stranger.Send(std::vector<uint8_t>{0x00, 0x04, n_hi, n_lo}, 0xC6120001, kTftpClientPort);
        next = next >= 40 ? 1 : static_cast<uint16_t>(next + 1);
        stale.Send(std::vector<uint8_t>{0x00, 0x04, 0x00, 0x02}, 0xC6120001, kTftpClientPort);
    });
    ASSERT_TRUE(Open(path));
    forger.start(250);
    ASSERT_TRUE(WaitFinished(45000)) << "a stale ACK kept the transfer alive";
    forger.stop();
    EXPECT_EQ(outcome, UpgradeEndKind::TransferFailed);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].sent, 1536u);
    EXPECT_EQ(progress.size(), 3u) << "no block past the agent's last ACK went out";
    EXPECT_GT(transfer.transfer().foreign_dropped(), 100u);
    EXPECT_GE(finished_after_ms, 31500);
    EXPECT_EQ(sim.Count("TFTP 198.18.1.2 stored"), 0);
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
    EXPECT_EQ(outcome, UpgradeEndKind::Completed);
    EXPECT_TRUE(sim.WaitForLine(StoredLine(path), 1000));
    EXPECT_TRUE(send_failures.empty());
    EXPECT_EQ(progress, EveryBlockOf(300000));
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
    ASSERT_TRUE(open_failure.has_value());
    EXPECT_EQ(
        open_failure->reason,
        (Message{"Firmware file too large: at most 65535 blocks of 512 bytes (33553919 bytes)",
                 "Error", MessageIcon::Error}));
    EXPECT_FALSE(Open(dir.filePath(QStringLiteral("missing.hex")).toStdString()));
    ASSERT_TRUE(open_failure.has_value());
    EXPECT_EQ(open_failure->reason,
              (Message{"Open firmware file error", "Error", MessageIcon::Error}));
    EXPECT_TRUE(send_failures.empty());
    EXPECT_FALSE(transfer.IsOpen());
    QTest::qWait(500);
    EXPECT_EQ(sim.Count("TFTP 198.18.1.2"), 0);
    EXPECT_FALSE(outcome.has_value());
}

TEST_F(TftpFaultsLanTest, ASecondStartWhileOneRunsIsRefused) {
    StartSim("silent=1");
    ASSERT_TRUE(Open(WriteImage(10)));
    EXPECT_FALSE(Open(WriteImage(20)));
    ASSERT_TRUE(open_failure.has_value());
    EXPECT_EQ(open_failure->reason,
              (Message{"Bind tftps socket error", "Error", MessageIcon::Error}));
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
    const std::optional<FirmwareTransfer::OpenFailure> failure =
        transfer.OpenTftpSocket({0xCB007107u, path, 0});
    ASSERT_TRUE(failure.has_value());
    // No words of its own: the failed send was reported, once.
    EXPECT_FALSE(failure->reason.has_value());
    ASSERT_EQ(send_failures.size(), 1u);
    EXPECT_EQ(send_failures[0].kind, SendKind::TftpWriteRequest);
    std::string storage;
    EXPECT_EQ(SendFailureMessage(send_failures[0], storage).text, "Write request send error");
    EXPECT_FALSE(transfer.IsOpen());
    send_failures.clear();
    QTest::qWait(2000); // past the first tick of the write-request timer
    EXPECT_TRUE(send_failures.empty());
    EXPECT_TRUE(ends.empty());

    Trigger();
    ASSERT_TRUE(Open(path));
    ASSERT_TRUE(WaitFinished(20000));
    EXPECT_EQ(outcome, UpgradeEndKind::Completed);
    EXPECT_TRUE(send_failures.empty());
}

} // namespace
