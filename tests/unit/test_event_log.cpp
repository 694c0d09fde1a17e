#include "monitor/EventLog.h"

#include "ScratchDir.h"
#include "support/FakeNotifier.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace kestrel;

namespace {

std::tm MakeTm(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

class FixedClock : public Clock {
public:
    explicit FixedClock(std::tm t) : t_(t) {}
    std::tm LocalNow() const override { return t_; }
    void Set(std::tm t) { t_ = t; }

private:
    std::tm t_;
};

std::string FileText(const std::filesystem::path& file) {
    const auto bytes = ReadAll(file);
    return std::string(bytes.begin(), bytes.end());
}

// Counts failures from any thread; the recording fake is for one thread only.
class CountingNotifier : public Notifier {
public:
    std::atomic<int> messages{0};
    void Show(const Message&) override { ++messages; }
    bool Ask(const Message&) override { return true; }
};

TEST(TimeStamp, MonthFirstAlwaysNineteenCharacters) {
    struct Case {
        std::tm time;
        const char* expected;
    };
    const Case cases[] = {
        {MakeTm(2005, 12, 31, 23, 59, 59), "12/31/2005 23:59:59"},
        {MakeTm(2006, 1, 1, 0, 0, 0), "01/01/2006 00:00:00"},
        {MakeTm(2006, 3, 7, 14, 5, 9), "03/07/2006 14:05:09"},
        {MakeTm(2024, 2, 29, 9, 30, 60), "02/29/2024 09:30:60"}, // leap second
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(FormatTimeStamp(FixedClock(c.time)), c.expected);
    }
}

TEST(TimeStamp, NonsenseFieldsStillGiveNineteenCharacters) {
    std::tm t = MakeTm(2006, 1, 1, 0, 0, 0);
    t.tm_year = 2147483647;
    t.tm_mon = -5;
    t.tm_mday = 1000;
    t.tm_hour = -1;
    const std::string stamp = FormatTimeStamp(t);
    EXPECT_EQ(stamp, "01/99/9999 00:00:00");
}

TEST(TimeStamp, SystemClockGivesLocalTime) {
    const auto local = [] {
        const std::time_t now = std::time(nullptr);
        std::tm t{};
        localtime_r(&now, &t);
        char buffer[32];
        std::strftime(buffer, sizeof buffer, "%m/%d/%Y %H:%M:%S", &t);
        return std::string(buffer);
    };
    const std::string before = local();
    const std::string stamp = FormatTimeStamp(SystemClock());
    const std::string after = local();
    EXPECT_EQ(stamp.size(), kTimeStampLength);
    EXPECT_TRUE(stamp == before || stamp == after) << stamp;
}

class EventLogFile : public ::testing::Test {
protected:
    ScratchDir dir;
    FixedClock clock{MakeTm(2006, 3, 7, 14, 5, 9)};
    FakeNotifier notifier;
    EventLog log{EventLogPath(dir.path()), clock, notifier};
};

TEST_F(EventLogFile, LivesInTheCfgDirectory) {
    EXPECT_EQ(log.Path(), dir.path() / "syslog.log");
}

TEST_F(EventLogFile, LinesHaveTheirExactForms) {
    EXPECT_TRUE(log.LogNotAlive("10.0.0.5"));
    clock.Set(MakeTm(2006, 3, 7, 14, 5, 10));
    EXPECT_TRUE(log.LogTrap("192.168.1.20", "Port 3 link down"));
    EXPECT_TRUE(log.LogTrap("192.168.1.20", ""));
    EXPECT_TRUE(log.LogUpgradeFailure("172.16.4.1", "Upgrade fail, translate 512/1024 bytes"));
    EXPECT_EQ(FileText(log.Path()), "03/07/2006 14:05:09 10.0.0.5 Not alive \r\n"
                                    "03/07/2006 14:05:10 192.168.1.20 Trap :Port 3 link down\r\n"
                                    "03/07/2006 14:05:10 192.168.1.20 Trap :\r\n"
                                    "03/07/2006 14:05:10 172.16.4.1 Upgrade fail, translate "
                                    "512/1024 bytes \r\n");
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(EventLogFile, AgentTextsCannotBreakALineOrDriveATerminal) {
    // An agent controls the address text and the event or error text: a line
    // break in them must not start a line of its own, an escape sequence must
    // not reach the terminal that shows the log. Printable bytes, Latin-1
    // letters included, stay as they are.
    const std::string forged = "x\r\n01/01/2000 00:00:00 10.9.9.9 Not alive ";
    const std::string flat = "x\\x0D\\x0A01/01/2000 00:00:00 10.9.9.9 Not alive ";
    struct Case {
        const char* name;
        std::string line;
        std::string expected;
    };
    const std::string stamp = "03/07/2006 14:05:09";
    const Case cases[] = {
        {"trap text", TrapLine(stamp, "10.0.0.1", forged),
         stamp + " 10.0.0.1 Trap :" + flat + "\r\n"},
        {"failure text", UpgradeFailureLine(stamp, "10.0.0.1", forged),
         stamp + " 10.0.0.1 " + flat + " \r\n"},
        {"address", NotAliveLine(stamp, "10.0.0.1\n\r"),
         stamp + " 10.0.0.1\\x0A\\x0D Not alive \r\n"},
        {"lone CR and LF", TrapLine(stamp, "\r1\n", "a\rb\nc"),
         stamp + " \\x0D1\\x0A Trap :a\\x0Db\\x0Ac\r\n"},
        {"terminal controls", TrapLine(stamp, "10.0.0.1", "\x1b[2J\x1b]0;owned\x07\b\f\t\x7f\x9b"),
         stamp + " 10.0.0.1 Trap :\\x1B[2J\\x1B]0;owned\\x07\\x08\\x0C\\x09\\x7F\\x9B\r\n"},
        {"printable kept", TrapLine(stamp, "10.0.0.1", "Port 3 \\ caf\xe9 ~!"),
         stamp + " 10.0.0.1 Trap :Port 3 \\ caf\xe9 ~!\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.line, c.expected);
        // Exactly one line ending, at the end.
        EXPECT_EQ(c.line.find_first_of("\r\n"), c.line.size() - 2);
    }
    EXPECT_TRUE(log.LogTrap("10.0.0.1", forged));
    EXPECT_EQ(FileText(log.Path()), stamp + " 10.0.0.1 Trap :" + flat + "\r\n");
}

TEST_F(EventLogFile, AppendWritesExactlyTheBytesGiven) {
    const std::string bytes("a\0b\r\n", 5);
    EXPECT_TRUE(AppendEventLog(log.Path(), bytes, notifier));
    EXPECT_TRUE(AppendEventLog(log.Path(), std::string_view("tail"), notifier));
    EXPECT_EQ(FileText(log.Path()), bytes + "tail");
}

TEST_F(EventLogFile, FirstEventAfterClearCreatesTheFile) {
    log.LogNotAlive("10.0.0.1");
    log.LogNotAlive("10.0.0.2");
    ASSERT_TRUE(log.Clear());
    ASSERT_TRUE(std::filesystem::exists(log.Path()));
    EXPECT_EQ(std::filesystem::file_size(log.Path()), 0u);

    std::filesystem::remove(log.Path());
    EXPECT_TRUE(log.LogTrap("10.0.0.3", "cold start"));
    EXPECT_EQ(FileText(log.Path()), "03/07/2006 14:05:09 10.0.0.3 Trap :cold start\r\n");
}

TEST_F(EventLogFile, ClearCreatesTheFileWhenMissing) {
    EXPECT_TRUE(log.Clear());
    EXPECT_TRUE(std::filesystem::is_regular_file(log.Path()));
    EXPECT_TRUE(notifier.shown.empty());
}

TEST(EventLogFailure, MissingDirectoryIsReportedAndNothingWritten) {
    ScratchDir dir;
    FakeNotifier notifier;
    FixedClock clock(MakeTm(2006, 1, 1, 0, 0, 0));
    EventLog log(EventLogPath(dir.path() / "gone"), clock, notifier);

    EXPECT_FALSE(log.LogNotAlive("10.0.0.1"));
    EXPECT_EQ(notifier.shown,
              (std::vector<ShownMessage>{{"syslog.log not exit", "Error", MessageIcon::Error}}));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "gone"));
    EXPECT_FALSE(log.Clear()); // reports nothing, but says so to the caller
    EXPECT_EQ(notifier.shown.size(), 1u);
}

TEST(EventLogFailure, WriteErrorIsReportedNotSwallowed) {
    FakeNotifier notifier;
    ASSERT_TRUE(std::filesystem::exists("/dev/full"));
    EXPECT_FALSE(AppendEventLog("/dev/full", std::string_view("line\r\n"), notifier));
    EXPECT_EQ(notifier.shown,
              (std::vector<ShownMessage>{{"syslog.log write fail", "Error", MessageIcon::Error}}));
}

TEST(EventLogThreads, ConcurrentAppendsNeverFailOrInterleave) {
    ScratchDir dir;
    CountingNotifier notifier;
    const FixedClock clock(MakeTm(2006, 3, 7, 14, 5, 9));
    const auto path = EventLogPath(dir.path());
    constexpr int kLinesPerThread = 150;
    // Lines longer than the stdio buffer take several writes each, so they tear
    // unless appends are serialised. Each thread alternates two texts: a line
    // the same as the one before would be folded into a count.
    const std::string trap_texts[] = {std::string(20000, 't'), std::string(20000, 'T')};
    const std::string fail_texts[] = {std::string(20000, 'f'), std::string(20000, 'F')};

    std::atomic<int> failures{0};
    auto writer = [&](bool traps) {
        EventLog log(path, clock, notifier);
        for (int i = 0; i < kLinesPerThread; ++i) {
            const bool ok = traps ? log.LogTrap("10.0.0.1", trap_texts[i % 2])
                                  : log.LogUpgradeFailure("10.0.0.2", fail_texts[i % 2]);
            if (!ok)
                ++failures;
        }
    };
    std::thread a(writer, true);
    std::thread b(writer, false);
    a.join();
    b.join();

    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(notifier.messages.load(), 0);

    std::vector<std::pair<std::string, int*>> lines;
    int traps = 0, fails = 0;
    for (const std::string& t : trap_texts)
        lines.emplace_back("03/07/2006 14:05:09 10.0.0.1 Trap :" + t + "\r\n", &traps);
    for (const std::string& f : fail_texts)
        lines.emplace_back("03/07/2006 14:05:09 10.0.0.2 " + f + " \r\n", &fails);
    const std::string text = FileText(path);
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto whole = std::find_if(lines.begin(), lines.end(), [&](const auto& line) {
            return text.compare(pos, line.first.size(), line.first) == 0;
        });
        if (whole == lines.end())
            FAIL() << "torn line at byte " << pos;
        ++*whole->second;
        pos += whole->first.size();
    }
    EXPECT_EQ(traps, kLinesPerThread);
    EXPECT_EQ(fails, kLinesPerThread);
}

} // namespace
