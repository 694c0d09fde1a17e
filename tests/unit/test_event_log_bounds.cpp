// What keeps syslog.log bounded: identical lines of a flood folded into a
// count, and the file renamed to syslog.log.1 (.2, .3) past its size limit.

#include "monitor/EventLog.h"

#include "ScratchDir.h"
#include "support/FakeNotifier.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace kestrel;

namespace {

// 03/07/2006 14:05:<second>; tests move the second.
class StepClock : public Clock {
public:
    std::tm LocalNow() const override {
        std::tm t{};
        t.tm_year = 2006 - 1900;
        t.tm_mon = 2;
        t.tm_mday = 7;
        t.tm_hour = 14;
        t.tm_min = 5;
        t.tm_sec = second;
        return t;
    }
    int second = 9;
};

std::string FileText(const std::filesystem::path& file) {
    const auto bytes = ReadAll(file);
    return std::string(bytes.begin(), bytes.end());
}

std::string At(int second) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "03/07/2006 14:05:%02d", second);
    return stamp;
}

class EventLogBounds : public ::testing::Test {
protected:
    std::filesystem::path Path() const { return EventLogPath(dir.path()); }
    std::unique_ptr<EventLog> MakeLog(LogRotation rotation = {}) {
        return std::make_unique<EventLog>(Path(), clock, notifier, rotation);
    }

    ScratchDir dir;
    StepClock clock;
    FakeNotifier notifier;
};

TEST_F(EventLogBounds, IdenticalLinesWithinTheirSecondAreCountedAndTheCountWritten) {
    using Step = std::function<void(EventLog&, StepClock&)>;
    const auto trap = [](const char* ip, const char* text, int second = 9) -> Step {
        return [=](EventLog& log, StepClock& time) {
            time.second = second;
            EXPECT_TRUE(log.LogTrap(ip, text));
        };
    };
    const auto times = [](int n, Step step) -> Step {
        return [=](EventLog& log, StepClock& time) {
            for (int i = 0; i < n; ++i)
                step(log, time);
        };
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::string expected; // after the log is gone
    };
    const Case cases[] = {
        {"a run ended by another line",
         {times(5, trap("10.0.0.1", "link up")), trap("10.0.0.1", "link down")},
         At(9) + " 10.0.0.1 Trap :link up\r\n" + At(9) +
             " 10.0.0.1 last message repeated 4 times\r\n" + At(9) +
             " 10.0.0.1 Trap :link down\r\n"},
        {"one repeat is written as itself",
         {times(2, trap("10.0.0.1", "link up")), trap("10.0.0.1", "link down")},
         At(9) + " 10.0.0.1 Trap :link up\r\n" + At(9) + " 10.0.0.1 Trap :link up\r\n" + At(9) +
             " 10.0.0.1 Trap :link down\r\n"},
        {"a run ended by the log's end",
         {times(3, trap("10.0.0.1", "link up"))},
         At(9) + " 10.0.0.1 Trap :link up\r\n" + At(9) +
             " 10.0.0.1 last message repeated 2 times\r\n"},
        {"the same text from other agents is not folded",
         {trap("10.0.0.1", "cold start"), trap("10.0.0.2", "cold start"),
          trap("10.0.0.1", "cold start")},
         At(9) + " 10.0.0.1 Trap :cold start\r\n" + At(9) + " 10.0.0.2 Trap :cold start\r\n" +
             At(9) + " 10.0.0.1 Trap :cold start\r\n"},
        {"a new second starts a new run",
         {times(3, trap("10.0.0.1", "link up", 9)), times(2, trap("10.0.0.1", "link up", 10)),
          trap("10.0.0.1", "link up", 11)},
         At(9) + " 10.0.0.1 Trap :link up\r\n" + At(9) +
             " 10.0.0.1 last message repeated 2 times\r\n" + At(10) +
             " 10.0.0.1 Trap :link up\r\n" + At(10) + " 10.0.0.1 Trap :link up\r\n" + At(11) +
             " 10.0.0.1 Trap :link up\r\n"},
        {"not alive lines fold too",
         {[](EventLog& log, StepClock&) {
             for (int i = 0; i < 4; ++i)
                 EXPECT_TRUE(log.LogNotAlive(At(9), "10.0.0.3"));
         }},
         At(9) + " 10.0.0.3 Not alive \r\n" + At(9) +
             " 10.0.0.3 last message repeated 3 times\r\n"},
        {"the same bytes from another kind of line are not folded",
         {[](EventLog& log, StepClock&) {
             EXPECT_TRUE(log.LogUpgradeFailure("10.0.0.4", "Trap :x"));
             EXPECT_TRUE(log.LogTrap("10.0.0.4", "x "));
         }},
         At(9) + " 10.0.0.4 Trap :x \r\n" + At(9) + " 10.0.0.4 Trap :x \r\n"},
        {"the count escapes the agent's address as its line does",
         {times(3, trap("10.0.0.1\r\n", "up"))},
         At(9) + " 10.0.0.1\\x0D\\x0A Trap :up\r\n" + At(9) +
             " 10.0.0.1\\x0D\\x0A last message repeated 2 times\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(Path());
        clock.second = 9;
        {
            const auto log = MakeLog();
            for (const Step& step : c.steps)
                step(*log, clock);
        }
        EXPECT_EQ(FileText(Path()), c.expected);
    }
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(EventLogBounds, TheCountWaitsForItsSecondToEnd) {
    const auto log = MakeLog();
    for (int i = 0; i < 3; ++i)
        log->LogTrap("10.0.0.1", "link up");
    const std::string first = At(9) + " 10.0.0.1 Trap :link up\r\n";
    EXPECT_EQ(log->heldRepeats(), 2u);

    log->FlushRepeats(); // still the same second: a third repeat may come
    EXPECT_EQ(FileText(Path()), first);
    EXPECT_EQ(log->heldRepeats(), 2u);

    clock.second = 10;
    log->FlushRepeats();
    const std::string counted = first + At(9) + " 10.0.0.1 last message repeated 2 times\r\n";
    EXPECT_EQ(FileText(Path()), counted);
    EXPECT_EQ(log->heldRepeats(), 0u);
    log->FlushRepeats(); // written once
    EXPECT_EQ(FileText(Path()), counted);

    // The same line after its count is a line again.
    log->LogTrap("10.0.0.1", "link up");
    EXPECT_EQ(FileText(Path()), counted + At(10) + " 10.0.0.1 Trap :link up\r\n");
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(EventLogBounds, TheTimerWritesTheCountWhenNoOtherLineComes) {
    const auto log = MakeLog();
    for (int i = 0; i < 5; ++i)
        log->LogTrap("10.0.0.1", "link up");
    clock.second = 10;
    const std::string expected = At(9) + " 10.0.0.1 Trap :link up\r\n" + At(9) +
                                 " 10.0.0.1 last message repeated 4 times\r\n";
    QElapsedTimer waited;
    waited.start();
    while (FileText(Path()) != expected && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(FileText(Path()), expected);
    EXPECT_EQ(log->heldRepeats(), 0u);
}

TEST_F(EventLogBounds, ClearingTheLogForgetsTheRepeatsOfTheLinesItRemoved) {
    const auto log = MakeLog();
    for (int i = 0; i < 3; ++i)
        log->LogTrap("10.0.0.1", "link up");
    // As "Clear log" does it: through the file, not through this object.
    ASSERT_TRUE(ClearEventLog(Path()));
    EXPECT_EQ(log->heldRepeats(), 0u);
    log->LogTrap("10.0.0.1", "link up");
    log->LogTrap("10.0.0.2", "other");
    EXPECT_EQ(FileText(Path()),
              At(9) + " 10.0.0.1 Trap :link up\r\n" + At(9) + " 10.0.0.2 Trap :other\r\n");
}

TEST_F(EventLogBounds, AFailedLineStartsNoRunAndAFailedCountIsOneBox) {
    const std::filesystem::path folder = dir / "cfg";
    {
        EventLog log(EventLogPath(folder), clock, notifier);
        // The folder is missing: every copy is tried and reported, none counted.
        EXPECT_FALSE(log.LogTrap("10.0.0.1", "link up"));
        EXPECT_FALSE(log.LogTrap("10.0.0.1", "link up"));
        EXPECT_EQ(log.heldRepeats(), 0u);
        EXPECT_EQ(notifier.Texts(),
                  (std::vector<std::string>{"syslog.log not exit", "syslog.log not exit"}));

        std::filesystem::create_directory(folder);
        EXPECT_TRUE(log.LogTrap("10.0.0.1", "link up"));
        EXPECT_TRUE(log.LogTrap("10.0.0.1", "link up"));
        EXPECT_TRUE(log.LogTrap("10.0.0.1", "link up"));
        std::filesystem::remove_all(folder);
        // The count and the next line go together: one failure, one box.
        EXPECT_FALSE(log.LogTrap("10.0.0.1", "link down"));
        EXPECT_EQ(notifier.shown.size(), 3u);
    }
    EXPECT_EQ(notifier.shown.size(), 3u); // nothing left for the end
}

TEST_F(EventLogBounds, AFloodOfDistinctLinesNeverTakesTheFilePastItsLimit) {
    const LogRotation rotation{.max_bytes = 300, .generations = 2};
    const auto log = MakeLog(rotation);
    std::string all; // every line, in order
    for (int i = 0; i < 200; ++i) {
        const std::string text = "event " + std::to_string(i);
        ASSERT_TRUE(log->LogTrap("10.0.0.1", text));
        all += At(9) + " 10.0.0.1 Trap :" + text + "\r\n";
        ASSERT_LE(std::filesystem::file_size(Path()), rotation.max_bytes) << "line " << i;
    }
    EXPECT_TRUE(notifier.shown.empty());

    // Two older files, each whole lines within the limit; nothing beyond them.
    const std::string current = FileText(Path());
    const std::string newer = FileText(RotatedLogPath(Path(), 1));
    const std::string older = FileText(RotatedLogPath(Path(), 2));
    EXPECT_FALSE(std::filesystem::exists(RotatedLogPath(Path(), 3)));
    for (const std::string* file : {&older, &newer}) {
        EXPECT_LE(file->size(), rotation.max_bytes);
        // Full enough that the next line (at most this long) did not fit.
        EXPECT_GT(file->size() + (At(9) + " 10.0.0.1 Trap :event 199\r\n").size(),
                  rotation.max_bytes);
        EXPECT_EQ(file->substr(0, At(9).size()), At(9));
        EXPECT_EQ(file->substr(file->size() - 2), "\r\n");
    }
    // Read oldest first, they are the end of what was logged, in order.
    const std::string kept = older + newer + current;
    ASSERT_LE(kept.size(), all.size());
    EXPECT_EQ(all.substr(all.size() - kept.size()), kept);

    // "Clear log" leaves one empty file.
    EXPECT_TRUE(log->Clear());
    EXPECT_EQ(std::filesystem::file_size(Path()), 0u);
    EXPECT_FALSE(std::filesystem::exists(RotatedLogPath(Path(), 1)));
    EXPECT_FALSE(std::filesystem::exists(RotatedLogPath(Path(), 2)));
}

TEST_F(EventLogBounds, ALineLongerThanTheLimitGetsAFileOfItsOwn) {
    const LogRotation rotation{.max_bytes = 100, .generations = 3};
    const auto log = MakeLog(rotation);
    const std::string long_text(150, 'L');
    ASSERT_TRUE(log->LogTrap("10.0.0.1", "short"));
    ASSERT_TRUE(log->LogTrap("10.0.0.1", long_text));
    ASSERT_TRUE(log->LogTrap("10.0.0.1", "after"));
    EXPECT_EQ(FileText(RotatedLogPath(Path(), 2)), At(9) + " 10.0.0.1 Trap :short\r\n");
    EXPECT_EQ(FileText(RotatedLogPath(Path(), 1)), At(9) + " 10.0.0.1 Trap :" + long_text + "\r\n");
    EXPECT_EQ(FileText(Path()), At(9) + " 10.0.0.1 Trap :after\r\n");
}

TEST_F(EventLogBounds, WhenTheFileCannotBeMovedAsideTheLineIsRefusedAndReported) {
    const LogRotation rotation{.max_bytes = 60, .generations = 1};
    const auto log = MakeLog(rotation);
    ASSERT_TRUE(log->LogTrap("10.0.0.1", "first"));
    const std::string first = FileText(Path());
    // syslog.log.1 cannot be replaced by a file.
    std::filesystem::create_directories(RotatedLogPath(Path(), 1) / "inside");

    EXPECT_FALSE(log->LogTrap("10.0.0.1", "second"));
    EXPECT_EQ(notifier.Texts(), std::vector<std::string>{"syslog.log write fail"});
    EXPECT_EQ(FileText(Path()), first);
}

} // namespace
