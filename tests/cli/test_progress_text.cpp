// The upgrade's progress text, fed by the real transfer state machine: the
// agent acknowledges every block, and what the front end would print is
// compared with literal text.

#include "ProgressText.h"
#include "protocol/upgrade/TftpTransfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using kestrel::TftpTransfer;
using kestrel::cli::ProgressText;

constexpr uint32_t kAgent = 0xC6120102; // 198.18.1.2

std::array<uint8_t, 4> Ack(uint16_t block) {
    return {0, 4, static_cast<uint8_t>(block >> 8), static_cast<uint8_t>(block & 0xFF)};
}

// The whole transfer of an image of `size` bytes: every progress step the
// state machine reports goes to the text, then its completion.
std::string Transfer(uint32_t size, bool terminal) {
    TftpTransfer transfer;
    ProgressText progress(terminal, "");
    std::string out;
    const auto feed = [&](const kestrel::TftpStep& step) {
        if (step.progress)
            out += progress.Update(step.progress->acknowledged, step.progress->total);
        if (step.outcome == kestrel::TftpOutcome::Completed)
            out += progress.Complete(transfer.file_size());
    };
    feed(transfer.Start({kAgent, "fw.bin", 0}, std::vector<uint8_t>(size, 0x5A)));
    for (uint16_t block = 0; transfer.state() != TftpTransfer::State::Finishing; ++block) {
        const auto ack = Ack(block);
        feed(transfer.OnDatagram(ack, kAgent));
        if (transfer.state() == TftpTransfer::State::Idle)
            return out + "<ended early>";
    }
    // file_size() is still the image's while the last wait runs.
    const uint32_t file_size = transfer.file_size();
    EXPECT_EQ(file_size, size);
    feed(transfer.FinishWaitEnded());
    return out;
}

std::string PlainLines(uint32_t size, const std::array<uint32_t, 10>& counts) {
    std::string text;
    for (int t = 0; t < 10; ++t) {
        char line[80];
        std::snprintf(line, sizeof line, "Upgrade...%3d%% %u/%u bytes\n", (t + 1) * 10,
                      counts[static_cast<std::size_t>(t)], size);
        text += line;
    }
    return text;
}

std::string BarOf(int percent, uint32_t acknowledged, uint32_t size) {
    const auto filled = static_cast<std::size_t>(percent * 40 / 100);
    char counted[64];
    std::snprintf(counted, sizeof counted, "%3d%% %u/%u bytes", percent, acknowledged, size);
    return "\r[" + std::string(filled, '#') + std::string(40 - filled, '.') + "] " + counted;
}

TEST(CliProgressText, PipedOutputIsOneLinePerTenthEndingAtTheFileSize) {
    struct Case {
        uint32_t size;
        std::string expected;
    };
    const Case cases[] = {
        // Nothing acknowledged counts until the end: every tenth at once.
        {0, PlainLines(0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0})},
        {1, PlainLines(1, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1})},
        {511, PlainLines(511, {511, 511, 511, 511, 511, 511, 511, 511, 511, 511})},
        // The full block is acknowledged before the empty last one goes.
        {512, PlainLines(512, {512, 512, 512, 512, 512, 512, 512, 512, 512, 512})},
        // The first acknowledged count at or past each tenth, in blocks of 512.
        {3000000, PlainLines(3000000, {300032, 600064, 900096, 1200128, 1500160, 1800192, 2100224,
                                       2400256, 2700288, 3000000})},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Transfer(c.size, false), c.expected) << "size " << c.size;
}

TEST(CliProgressText, TheBarReachesOneHundredPercentAndEndsItsLine) {
    struct Case {
        uint32_t size;
        std::string expected;
    };
    const Case cases[] = {
        {0, BarOf(0, 0, 0) + BarOf(100, 0, 0) + "\n"},
        {1, BarOf(0, 0, 1) + BarOf(100, 1, 1) + "\n"},
        {511, BarOf(0, 0, 511) + BarOf(100, 511, 511) + "\n"},
        {512, BarOf(0, 0, 512) + BarOf(100, 512, 512) + "\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Transfer(c.size, true), c.expected) << "size " << c.size;

    // A large image: every percent drawn once, in order, the last at 100.
    const std::string big = Transfer(3000000, true);
    EXPECT_EQ(std::count(big.begin(), big.end(), '\r'), 101);
    EXPECT_EQ(std::count(big.begin(), big.end(), '\n'), 1);
    EXPECT_EQ(big.substr(0, BarOf(0, 0, 3000000).size()), BarOf(0, 0, 3000000));
    EXPECT_NE(big.find(BarOf(10, 300032, 3000000)), std::string::npos);
    const std::string end = BarOf(100, 3000000, 3000000) + "\n";
    ASSERT_GE(big.size(), end.size());
    EXPECT_EQ(big.substr(big.size() - end.size()), end);
}

TEST(CliProgressText, AStopShortEndsTheBarAndPlainLinesCarryTheLabel) {
    ProgressText bar(true, "198.18.1.2");
    EXPECT_EQ(bar.Update(1500, 3000), "\r198.18.1.2: [" + std::string(20, '#') +
                                          std::string(20, '.') + "]  50% 1500/3000 bytes");
    EXPECT_EQ(bar.Update(1500, 3000), "") << "the same percent is not drawn again";
    EXPECT_EQ(bar.Finish(), "\n");
    EXPECT_EQ(bar.Finish(), "") << "one line end only";

    ProgressText plain(false, "198.18.1.2");
    EXPECT_EQ(plain.Update(0, 3000), "");
    EXPECT_EQ(plain.Update(650, 3000), "198.18.1.2: Upgrade... 10% 650/3000 bytes\n"
                                       "198.18.1.2: Upgrade... 20% 650/3000 bytes\n");
    EXPECT_EQ(plain.Update(700, 3000), "");
    EXPECT_EQ(plain.Finish(), "") << "plain lines are ended already";
}

} // namespace
