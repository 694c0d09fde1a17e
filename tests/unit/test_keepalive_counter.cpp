#include "protocol/discovery/KeepAliveCounter.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

using namespace kestrel;

namespace {

// The switch and period as they stand during second t (1-based).
using Schedule = std::function<std::pair<int, int>(int t)>;

// Ticks seconds from..to; returns the seconds at which a report was due.
std::vector<int> Reports(KeepAliveCounter& counter, int from, int to, const Schedule& schedule) {
    std::vector<int> at;
    for (int t = from; t <= to; ++t) {
        const auto [flag, period] = schedule(t);
        if (counter.Tick(flag, period))
            at.push_back(t);
    }
    return at;
}

Schedule Fixed(int flag, int period) {
    return [=](int) { return std::pair{flag, period}; };
}

TEST(KeepAliveCounter, ReportsEveryPeriod) {
    KeepAliveCounter counter;
    EXPECT_EQ(Reports(counter, 1, 480, Fixed(1, 120)), (std::vector<int>{120, 240, 360, 480}));

    KeepAliveCounter every_second;
    EXPECT_EQ(Reports(every_second, 1, 3, Fixed(1, 1)), (std::vector<int>{1, 2, 3}));
}

TEST(KeepAliveCounter, AnyNonZeroFlagIsOn) {
    KeepAliveCounter counter;
    EXPECT_EQ(Reports(counter, 1, 4, Fixed(49, 2)), (std::vector<int>{2, 4}));
}

TEST(KeepAliveCounter, NewPeriodRestartsTheCount) {
    KeepAliveCounter counter;
    // 120 for the first 100 s, then 300: the next report 300 s after the change.
    const Schedule schedule = [](int t) { return std::pair{1, t <= 100 ? 120 : 300}; };
    EXPECT_EQ(Reports(counter, 1, 1000, schedule), (std::vector<int>{400, 700, 1000}));

    // A shorter period after a longer count: no report before the new period.
    KeepAliveCounter shorter;
    const Schedule down = [](int t) { return std::pair{1, t <= 200 ? 300 : 120}; };
    EXPECT_EQ(Reports(shorter, 1, 440, down), (std::vector<int>{320, 440}));
}

TEST(KeepAliveCounter, SwitchedOffSendsNothingAndKeepsTheCount) {
    KeepAliveCounter off;
    EXPECT_TRUE(Reports(off, 1, 5000, Fixed(0, 120)).empty());

    KeepAliveCounter counter;
    EXPECT_TRUE(Reports(counter, 1, 50, Fixed(1, 120)).empty());
    EXPECT_EQ(counter.seconds(), 50);
    EXPECT_TRUE(Reports(counter, 51, 550, Fixed(0, 120)).empty());
    EXPECT_EQ(counter.seconds(), 50);
    // On again with the same period: counting resumes where it stood.
    EXPECT_EQ(Reports(counter, 551, 800, Fixed(1, 120)), (std::vector<int>{620, 740}));
}

TEST(KeepAliveCounter, PeriodChangedWhileOffRestartsWhenSwitchedOn) {
    KeepAliveCounter counter;
    EXPECT_TRUE(Reports(counter, 1, 100, Fixed(1, 120)).empty());
    EXPECT_TRUE(Reports(counter, 101, 200, Fixed(0, 150)).empty());
    EXPECT_EQ(Reports(counter, 201, 500, Fixed(1, 150)), (std::vector<int>{350, 500}));
}

TEST(KeepAliveCounter, PeriodZeroOrNegativeSendsNothing) {
    KeepAliveCounter counter;
    EXPECT_TRUE(Reports(counter, 1, 5000, Fixed(1, 0)).empty());
    EXPECT_TRUE(Reports(counter, 5001, 6000, Fixed(1, -5)).empty());
    // A real period afterwards counts from its start.
    EXPECT_EQ(Reports(counter, 6001, 6004, Fixed(1, 2)), (std::vector<int>{6002, 6004}));
}

} // namespace
