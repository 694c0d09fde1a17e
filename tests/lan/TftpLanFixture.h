#pragma once
// A firmware write from FirmwareTransfer to one simulated agent, inside the
// simulated LAN. The agent answers TFTP from a port of its own
// (--tftp-reply-port), so DATA that followed the ACK's port instead of
// going to port 69 would show in the simulator's report.

#include "PlainSocket.h"
#include "SimProcess.h"
#include "support/FakeNotifier.h"

#include "FirmwareImages.h"
#include "protocol/wire/PacketHeader.h"
#include "protocol/wire/TlvCodec.h"
#include "upgrade/FirmwareTransfer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>
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
        QObject::connect(&transfer, &FirmwareTransfer::StateText,
                         [this](const QString& t) { states.push_back(t.toStdString()); });
        QObject::connect(&transfer, &FirmwareTransfer::LogFailure,
                         [this](const QByteArray& t) { logs.push_back(t.toStdString()); });
        QObject::connect(&transfer, &FirmwareTransfer::Finished, [this](TftpOutcome o) {
            outcome = o;
            finished_after_ms = clock.elapsed();
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

    bool Open(const std::string& path, uint32_t word3 = 0) {
        outcome.reset();
        clock.start();
        return transfer.OpenTftpSocket({kAgentIp, path, word3});
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
    FakeNotifier notifier;
    FirmwareTransfer transfer{notifier};
    std::vector<uint8_t> image;
    std::vector<std::string> states;
    std::vector<std::string> logs;
    std::optional<TftpOutcome> outcome;
    QElapsedTimer clock;
    qint64 finished_after_ms = 0;
};

} // namespace kestrel::test
