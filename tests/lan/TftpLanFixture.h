#pragma once
// A firmware write from FirmwareTransfer to one simulated agent, inside the
// simulated LAN. The agent answers TFTP from a port of its own
// (--tftp-reply-port), so DATA that followed the ACK's port instead of
// going to port 69 would show in the simulator's report.

#include "PlainSocket.h"
#include "SimProcess.h"

#include "FirmwareImages.h"
#include "protocol/upgrade/UpgradeMessages.h"
#include "protocol/wire/PacketHeader.h"
#include "protocol/wire/TlvCodec.h"
#include "upgrade/FirmwareTransfer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kestrel::test {

class TftpLanFixture : public ::testing::Test {
protected:
    static constexpr uint32_t kAgentIp = 0xC6120102; // 198.18.1.2
    static constexpr const char* kAgent = "198.18.1.2";
    static constexpr uint16_t kAgentPort = 5012;

    void StartSim(const std::string& keys = "") {
        ASSERT_TRUE(sim.Start({.agents = std::string("ip=198.18.1.2 mac=020000000002 "
                                                     "password=pw reboot=1 ") +
                                         keys + "\n",
                               .count = 0,
                               .args = {"--tftp-reply-port", "50069"}}))
            << sim.Error();
        QObject::connect(&transfer, &FirmwareTransfer::Progress, [this](const TransferProgress& p) {
            progress.push_back(p);
            if (const std::optional<std::string> text = UpgradeStateText(p))
                states.push_back(*text);
            if (while_reporting)
                while_reporting();
        });
        QObject::connect(&transfer, &FirmwareTransfer::SendFailed, [this](const SendFailure& f) {
            send_failures.push_back(f);
            if (while_reporting)
                while_reporting();
        });
        QObject::connect(&transfer, &FirmwareTransfer::Finished, [this](const UpgradeEnd& e) {
            ends.push_back(e);
            outcome = e.kind;
            finished_after_ms = clock.elapsed();
            if (const std::optional<std::string> text = UpgradeStateText(e))
                states.push_back(*text);
            if (const std::optional<std::string> line = UpgradeLogText(e))
                logs.push_back(*line);
        });
    }

    void TearDown() override {
        // Every DATA and write request went to port 69.
        if (check_ports) {
            EXPECT_EQ(sim.Count("TFTP BAD"), 0);
        }
        if (HasFailure()) {
            // The simulator's side of it, for whoever reads the failure.
            const auto& lines = sim.Lines();
            for (std::size_t i = lines.size() > 40 ? lines.size() - 40 : 0; i < lines.size(); ++i)
                std::fprintf(stderr, "sim: %s\n", lines[i].c_str());
        }
    }

    // The upgrade trigger with the agent's password: it then takes a write.
    void Trigger() {
        PlainSocket socket(0);
        ASSERT_TRUE(socket.Bound());
        std::vector<uint8_t> request(kHeaderSize + 4 + 2);
        BuildTargetedHeader(std::span<uint8_t, kHeaderSize>(request.data(), kHeaderSize),
                            {CMD_UPGRADE_TRIGGER, {0x02, 0, 0, 0, 0, 0x02}, 0x4B455354, 0, false});
        AppendPasswordField(std::span<uint8_t>(request).subspan(kHeaderSize), "pw");
        const std::size_t from = sim.Lines().size();
        ASSERT_TRUE(socket.Send(request, kAgentIp, kAgentPort));
        ASSERT_TRUE(sim.WaitForLine("TRIGGER 198.18.1.2 status=0", 5000, from));
    }

    // A file of `size` bytes whose every block differs; returns its full path.
    std::string WriteImage(std::size_t size) {
        image = firmware_images::PatternImage(size);
        const QString path = dir.filePath(QStringLiteral("fw-%1.hex").arg(size));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(image.data()), static_cast<qint64>(size));
        file.close();
        return path.toStdString();
    }

    // True when the transfer runs; else open_failure says why not.
    bool Open(const std::string& path, uint32_t word3 = 0) {
        outcome.reset();
        clock.start();
        open_failure = transfer.OpenTftpSocket({kAgentIp, path, word3});
        return !open_failure.has_value();
    }

    // The device errors the transfer reported, as the window's error box
    // words them.
    std::vector<std::string> DeviceErrorBoxes() const {
        std::vector<std::string> texts;
        for (const UpgradeEnd& e : ends)
            if (e.kind == UpgradeEndKind::DeviceError)
                texts.push_back(DeviceErrorBoxText(e));
        return texts;
    }

    // Every block went out once, in order, and its progress says so.
    static std::vector<TransferProgress> EveryBlockOf(std::size_t size) {
        const auto total = static_cast<uint32_t>(size);
        const uint32_t blocks = total / 512 + 1;
        std::vector<TransferProgress> out;
        for (uint32_t block = 1; block <= blocks; ++block)
            out.push_back({.sent = std::min(block * 512, total),
                           .acknowledged = (block - 1) * 512,
                           .total = total,
                           .block = static_cast<uint16_t>(block),
                           .last = block == blocks});
        return out;
    }

    bool WaitFinished(int timeout_ms) {
        return QTest::qWaitFor([&] { return outcome.has_value(); }, timeout_ms);
    }

    // The simulator's line for the image it stored, as it must read.
    std::string StoredLine(const std::string& path) const {
        return firmware_images::StoredText(kAgent, image) + " name=" + path;
    }

    bool check_ports = true;
    SimProcess sim;
    QTemporaryDir dir;
    FirmwareTransfer transfer;
    std::vector<uint8_t> image;
    // What the transfer reported, in order.
    std::vector<TransferProgress> progress;
    std::vector<SendFailure> send_failures;
    std::vector<UpgradeEnd> ends;
    // Runs after each progress or failed send, as a listener's box would.
    std::function<void()> while_reporting;
    // The last Open's refusal.
    std::optional<FirmwareTransfer::OpenFailure> open_failure;
    // Upgrade State and the event-log lines, in the window's words for them.
    std::vector<std::string> states;
    std::vector<std::string> logs;
    std::optional<UpgradeEndKind> outcome;
    QElapsedTimer clock;
    qint64 finished_after_ms = 0;
};

} // namespace kestrel::test
