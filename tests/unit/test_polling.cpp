// Polling passes and the alive check, driven through their tick functions
// on a simulated time line: no real waiting.

#include "RecordingSender.h"
#include "protocol/polling/Polling.h"
#include "protocol/words/OutcomeWords.h"
#include "support/CoreState.h"
#include "support/FakeListHooks.h"
#include "support/RecordingEvents.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

using namespace kestrel;

namespace {

constexpr uint32_t kUtilityId = 0x4B455354;
constexpr uint16_t kBasePort = 5010;
constexpr uint16_t kAgentPort = 5012;

uint32_t AgentIp(int n) {
    return 0xC6120100u + static_cast<uint32_t>(n); // 198.18.1.n
}
std::string AgentText(int n) {
    return "198.18.1." + std::to_string(n);
}

// Poll request for utility 4B455354, written out from the header layout.
const std::vector<uint8_t> kPollBytes = {
    0x00, 0x02,                                                             // protocol version 2
    0x00, 0x00,                                                             // sub-version 0
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00,                                     // MAC
    0x00, 0x00,                                                             // interface version
    0x00, 0x05,                                                             // command 5, poll
    0x00, 0x00,                                                             // status
    0x4B, 0x45, 0x53, 0x54,                                                 // utility identifier
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00,                                     // reserved
    0x00, 0x00,                                                             // sequence
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // reserved
};

struct NotAliveEntry {
    int at_ms;
    std::string ip;
    bool operator==(const NotAliveEntry&) const = default;
};

struct SendEntry {
    int at_ms;
    bool from_tick; // a resend of the alive check, else a polling pass
};

// The monitor table, the two walks and a time line: passes at 0 and after
// each returned wait, ticks every 5 s from `tick_phase_ms`. A pass runs
// before a tick due at the same moment. Agents in `answering` reply at once
// to what is sent to them.
class PollingLine {
public:
    explicit PollingLine(int agents, int tick_phase_ms = 2500) : next_tick_(tick_phase_ms) {
        state.settings.utility_id = kUtilityId;
        state.settings.base_port = kBasePort;
        for (int n = 1; n <= agents; ++n) {
            DeviceRecord r = ZeroRecord();
            r.ip = AgentIp(n);
            SetFieldText(r.ip_text, AgentText(n));
            r.status_image = kImageNone;
            r.reply_flag = 1; // as loaded from monitor.cfg
            EXPECT_TRUE(state.tables.monitor.Append(r));
            lists.RefreshMonitorRow(n - 1);
            answering.insert(AgentIp(n));
        }
    }

    DeviceRecord& Record(int n) {
        return state.tables.monitor.records[static_cast<std::size_t>(n - 1)];
    }

    // What the dispatcher does with a reply matched by its address.
    void Reply(int n) {
        DeviceRecord& r = Record(n);
        r.row_state = kRowKnown;
        r.missed_polls = 0;
        r.status_image = kImageNone;
        r.reply_flag = 1;
        lists.RefreshMonitorRow(n - 1);
    }

    void RunUntil(int end_ms) {
        while (std::min(next_pass_, next_tick_) <= end_ms) {
            const std::size_t before = sender.sent.size();
            const bool pass = next_pass_ <= next_tick_;
            now_ = pass ? next_pass_ : next_tick_;
            if (pass) {
                const int wait = polling.Run(period_seconds);
                EXPECT_GE(wait, 0);
                next_pass_ += wait;
            } else {
                alive.Tick([&](std::string_view ip) {
                    not_alive.push_back({now_, std::string(ip)});
                });
                next_tick_ += kAliveCheckIntervalMs;
            }
            for (std::size_t i = before; i < sender.sent.size(); ++i) {
                const SentDatagram& d = sender.sent[i];
                sends[d.address].push_back({now_, !pass});
                if (answering.contains(d.address))
                    Reply(static_cast<int>(d.address - AgentIp(0)));
            }
        }
    }

    int Resends(uint32_t ip) const {
        int n = 0;
        if (const auto found = sends.find(ip); found != sends.end())
            for (const SendEntry& s : found->second)
                n += s.from_tick ? 1 : 0;
        return n;
    }

    CoreState state;
    int period_seconds = 15; // what the window's polling timer hands each pass
    std::vector<std::string> log;
    RecordingSender sender{state.tables, log};
    FakeListHooks lists{state.tables};
    RecordingEvents events;
    PollingPass polling{state.settings, state.tables.monitor, sender, events};
    AliveCheck alive{state.settings, state.tables.monitor, sender, lists, events};
    std::set<uint32_t> answering;
    std::vector<NotAliveEntry> not_alive;
    std::map<uint32_t, std::vector<SendEntry>> sends;

private:
    int now_ = 0;
    int next_pass_ = 0;
    int next_tick_;
};

} // namespace

TEST(PollingPass, PollsEveryMonitoredAgentWithTheSameFortyBytes) {
    for (const int agents : {0, 1, 3, kTableCapacity}) {
        SCOPED_TRACE(agents);
        PollingLine line(agents);
        EXPECT_EQ(line.polling.Run(15), 15000);
        ASSERT_EQ(line.sender.sent.size(), static_cast<std::size_t>(agents));
        for (int n = 1; n <= agents; ++n) {
            const SentDatagram& d = line.sender.sent[static_cast<std::size_t>(n - 1)];
            EXPECT_EQ(d.from, SocketKind::Unicast);
            EXPECT_EQ(d.bytes, kPollBytes);
            EXPECT_EQ(d.address, AgentIp(n)); // table order
            EXPECT_EQ(d.port, kAgentPort);
            // Loaded with reply_flag 1: the accounting ran before the send.
            EXPECT_EQ(line.Record(n).reply_flag, 0);
            EXPECT_EQ(line.Record(n).missed_polls, 0);
        }
        EXPECT_EQ(line.events.order, std::vector<std::string>{});
    }
}

// The period is the polling timer's, read when it arms the next wait
// (test_polling_timer); the pass turns it into the wait.
TEST(PollingPass, ReturnsTheWaitForTheGivenPeriod) {
    struct Case {
        int period_s, wait_ms;
    };
    for (const Case c :
         {Case{15, 15000}, Case{30, 30000}, Case{60, 60000}, Case{120, 120000}, Case{300, 300000},
          Case{0, 0}, Case{-5, 0}, Case{86400, 86400000}, Case{86401, 86400000}}) {
        SCOPED_TRACE(c.period_s);
        PollingLine line(2);
        // Also when a send fails and its report is up.
        line.sender.fail_number = 0;
        EXPECT_EQ(line.polling.Run(c.period_s), c.wait_ms);
        EXPECT_EQ(line.sender.sent.size(), 2u);
        EXPECT_EQ(line.events.send_failures.size(), 1u);
    }
}

TEST(AliveCheck, SilentAgentIsDeclaredBetween40And45SecondsAfterItsLastAnsweredPoll) {
    // Every position of the ticks against the passes.
    for (const int phase : {1, 1000, 2500, 4000, 4999, 5000}) {
        SCOPED_TRACE(phase);
        PollingLine line(3, phase);
        line.RunUntil(0); // the pass at 0 is answered
        line.answering.erase(AgentIp(2));
        line.RunUntil(60000);

        ASSERT_FALSE(line.not_alive.empty());
        const int declared = line.not_alive.front().at_ms;
        EXPECT_GE(declared, 40000);
        EXPECT_LE(declared, 45000);
        // The two resends went out at the two ticks before.
        std::vector<int> resends;
        for (const SendEntry& s : line.sends[AgentIp(2)])
            if (s.from_tick)
                resends.push_back(s.at_ms);
        EXPECT_EQ(resends, (std::vector<int>{declared - 10000, declared - 5000}));
        // Then a line on every tick, and nobody else.
        for (std::size_t i = 0; i < line.not_alive.size(); ++i)
            EXPECT_EQ(line.not_alive[i],
                      (NotAliveEntry{declared + static_cast<int>(i) * 5000, AgentText(2)}));
        // Each declaration is reported; only the first is news.
        ASSERT_EQ(line.events.lost.size(), line.not_alive.size());
        for (std::size_t i = 0; i < line.events.lost.size(); ++i)
            EXPECT_EQ(line.events.lost[i], (AgentLost{1, AgentText(2), "", i == 0})) << i;
        EXPECT_EQ(line.Record(2).row_state, kRowNotAlive);
        EXPECT_EQ(line.Record(2).status_image, kImageNotAlive);
        EXPECT_EQ(line.lists.monitor_rows[1].status_image, kImageNotAlive);
        EXPECT_EQ(line.lists.monitor_rows[0].status_image, kImageNone);
        EXPECT_EQ(line.Resends(AgentIp(1)) + line.Resends(AgentIp(3)), 0);
        EXPECT_TRUE(line.lists.faults.empty()) << line.lists.faults.front();
    }
}

TEST(AliveCheck, MissedPollsKeepGrowingWithThePassesWhileTheLinesGoOn) {
    PollingLine line(1);
    line.answering.clear();
    line.RunUntil(120000);
    // Passes at 0..120 s: 9 accountings, the first clearing the loaded reply;
    // two resends at the ticks.
    EXPECT_EQ(line.Record(1).missed_polls, 8 + 2);
    EXPECT_EQ(line.Resends(AgentIp(1)), 2);
    // Pass at 15 s (1), resends at 17.5 s (2) and 22.5 s (3), declared at
    // 27.5 s, then on every tick up to 117.5 s.
    ASSERT_FALSE(line.not_alive.empty());
    EXPECT_EQ(line.not_alive.front().at_ms, 27500);
    EXPECT_EQ(line.not_alive.size(), 19u);
}

TEST(AliveCheck, AgentLoadedNotAliveGetsNoResendsAndIsDeclaredByThePassesAlone) {
    PollingLine line(2);
    line.Record(1).status_image = kImageNotAlive; // as monitor.cfg stored it
    line.answering.erase(AgentIp(1));
    line.RunUntil(60000);

    EXPECT_EQ(line.Resends(AgentIp(1)), 0);
    // Passes at 0 (clears the loaded reply), 15 (1), 30 (2), 45 (3): the
    // first tick after 45 s declares it.
    ASSERT_FALSE(line.not_alive.empty());
    EXPECT_EQ(line.not_alive.front(), (NotAliveEntry{47500, AgentText(1)}));
    EXPECT_EQ(line.Record(1).row_state, kRowNotAlive);
    EXPECT_EQ(line.lists.monitor_rows[0].status_image, kImageNotAlive);
}

TEST(AliveCheck, AReplyClearsTheMarkAtOnce) {
    PollingLine line(2);
    line.answering.erase(AgentIp(1));
    line.RunUntil(50000);
    ASSERT_EQ(line.Record(1).status_image, kImageNotAlive);
    const std::size_t lines = line.not_alive.size();

    line.Reply(1); // comes in before the next tick
    EXPECT_EQ(line.Record(1).row_state, kRowKnown);
    EXPECT_EQ(line.lists.monitor_rows[0].status_image, kImageNone);
    line.answering.insert(AgentIp(1));
    line.RunUntil(90000);
    EXPECT_EQ(line.not_alive.size(), lines);
    EXPECT_EQ(line.Record(1).status_image, kImageNone);

    // Silent again later: its next declaration is news again.
    const std::size_t reported = line.events.lost.size();
    ASSERT_GT(reported, 1u);
    EXPECT_TRUE(line.events.lost[0].first);
    EXPECT_FALSE(line.events.lost[reported - 1].first);
    line.answering.erase(AgentIp(1));
    line.RunUntil(150000);
    ASSERT_GT(line.events.lost.size(), reported + 1);
    EXPECT_TRUE(line.events.lost[reported].first);
    EXPECT_FALSE(line.events.lost[reported + 1].first);
}

TEST(AliveCheck, TakesEachStepInOrder) {
    struct Case {
        const char* what;
        int reply_flag, missed, status_image;
        bool resend, declared;
        int missed_after;
        bool declared_before = false; // by an earlier tick
    };
    const Case cases[] = {
        {"answered", 1, 2, kImageNone, false, false, 2},
        {"nothing missed", 0, 0, kImageNone, false, false, 0},
        {"one missed", 0, 1, kImageNone, true, false, 2},
        {"two missed", 0, 2, kImageNone, true, false, 3},
        {"one missed, marked", 0, 1, kImageNotAlive, false, false, 1},
        {"three missed", 0, 3, kImageNone, false, true, 3},
        {"many missed, marked", 0, 40, kImageNotAlive, false, true, 40},
        {"many missed, declared before", 0, 40, kImageNotAlive, false, true, 40, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PollingLine line(1);
        DeviceRecord& r = line.Record(1);
        r.row_state = c.declared_before ? kRowNotAlive : kRowKnown;
        r.reply_flag = c.reply_flag;
        r.missed_polls = c.missed;
        r.status_image = c.status_image;
        std::vector<std::string> logged;
        int image_when_logged = 0;
        int row_image_when_reported = 0;
        line.events.while_reporting = [&] {
            if (line.events.order.back() == "lost")
                row_image_when_reported = line.lists.monitor_rows[0].status_image;
        };
        line.alive.Tick([&](std::string_view ip) {
            logged.emplace_back(ip);
            image_when_logged = r.status_image;
        });

        EXPECT_EQ(line.sender.sent.size(), c.resend ? 1u : 0u);
        if (c.resend) {
            EXPECT_EQ(line.sender.sent[0].bytes, kPollBytes);
            EXPECT_EQ(line.sender.sent[0].address, AgentIp(1));
            EXPECT_EQ(line.sender.sent[0].port, kAgentPort);
            EXPECT_EQ(line.sender.sent[0].from, SocketKind::Unicast);
        }
        EXPECT_EQ(logged,
                  c.declared ? std::vector<std::string>{AgentText(1)} : std::vector<std::string>{});
        EXPECT_EQ(r.missed_polls, c.missed_after);
        EXPECT_EQ(r.row_state, c.declared ? kRowNotAlive : kRowKnown);
        EXPECT_EQ(r.status_image, c.declared ? kImageNotAlive : c.status_image);
        // The load's insert, then the redraw of a declared agent, with its mark.
        EXPECT_EQ(line.lists.calls.size(), c.declared ? 2u : 1u);
        EXPECT_EQ(line.lists.monitor_rows[0].status_image,
                  c.declared ? kImageNotAlive : kImageNone);
        // The line is written before the row is marked, the loss reported
        // after the row shows it.
        if (c.declared) {
            EXPECT_EQ(image_when_logged, c.status_image);
            EXPECT_EQ(row_image_when_reported, kImageNotAlive);
            EXPECT_EQ(line.events.lost,
                      (std::vector<AgentLost>{{0, AgentText(1), "", !c.declared_before}}));
        } else {
            EXPECT_TRUE(line.events.lost.empty());
        }
        EXPECT_EQ(line.events.send_failures.size(), 0u);
    }
}

TEST(SendFailures, OneReportPerWalkWithTheErrorCodeAndEveryAgentStillHandled) {
    const SendFailure polling_error{SendKind::Poll, 101};
    const SendFailure resend_fail{SendKind::Resend, 101};
    PollingLine line(kTableCapacity);
    line.sender.failing.insert(SocketKind::Unicast); // the cable is out
    line.sender.error_code = 101;

    EXPECT_EQ(line.polling.Run(15), 15000);
    EXPECT_EQ(line.sender.sent.size(), 256u);
    EXPECT_EQ(line.events.send_failures, std::vector<SendFailure>{polling_error});
    line.polling.Run(15);
    EXPECT_EQ(line.events.send_failures, (std::vector<SendFailure>{polling_error, polling_error}));

    // Every agent has missed one poll now: every one is resent to, one report.
    line.events.send_failures.clear();
    line.sender.sent.clear();
    line.alive.Tick([](std::string_view) {});
    EXPECT_EQ(line.sender.sent.size(), 256u);
    EXPECT_EQ(line.events.send_failures, std::vector<SendFailure>{resend_fail});
    for (int n = 1; n <= kTableCapacity; ++n)
        EXPECT_EQ(line.Record(n).missed_polls, 2);
}

TEST(SendFailures, TheWindowSaysThemInItsOwnWords) {
    std::string storage;
    EXPECT_EQ(SendFailureMessage({SendKind::Poll, 101}, storage),
              (Message{"polling error 101", "Kestrel Utility", MessageIcon::Warning}));
    EXPECT_EQ(SendFailureMessage({SendKind::Resend, 101}, storage),
              (Message{"Resend fail", "Warnibg", MessageIcon::Warning}));
}

TEST(SendFailures, AWalkIsNotStartedAgainFromItsOwnBox) {
    // A box's event loop runs the timers: a pass or tick called from there
    // does nothing, and the walk goes on with the next agent after the box.
    PollingLine line(4);
    line.sender.fail_number = 1; // the second agent
    int nested_wait = 0;
    std::size_t sent_when_shown = 0;
    line.events.while_reporting = [&] {
        sent_when_shown = line.sender.sent.size();
        EXPECT_TRUE(line.polling.running());
        nested_wait = line.polling.Run(15);
    };
    EXPECT_EQ(line.polling.Run(15), 15000);
    EXPECT_EQ(nested_wait, -1);
    EXPECT_EQ(sent_when_shown, 2u);
    ASSERT_EQ(line.sender.sent.size(), 4u);
    for (int n = 1; n <= 4; ++n)
        EXPECT_EQ(line.sender.sent[static_cast<std::size_t>(n - 1)].address, AgentIp(n));
    EXPECT_FALSE(line.polling.running());

    // Same for the alive check: every agent missed one poll; resends fail.
    for (int n = 1; n <= 4; ++n) {
        line.Record(n).reply_flag = 0;
        line.Record(n).missed_polls = 1;
    }
    line.sender.sent.clear();
    line.sender.fail_number = 0;
    line.events.while_reporting = [&] { line.alive.Tick([](std::string_view) {}); };
    line.alive.Tick([](std::string_view) {});
    EXPECT_EQ(line.sender.sent.size(), 4u);
    for (int n = 1; n <= 4; ++n)
        EXPECT_EQ(line.Record(n).missed_polls, 2) << n;
}

TEST(AliveCheck, ATableChangedWhileALossIsReportedEndsTheTick) {
    struct Case {
        const char* what;
        bool empty_while_logging; // else while the loss is reported
    };
    for (const Case c :
         {Case{"while its line is written", true}, Case{"while it is reported", false}}) {
        SCOPED_TRACE(c.what);
        PollingLine line(3);
        for (int n = 1; n <= 3; ++n) {
            line.Record(n).reply_flag = 0;
            line.Record(n).missed_polls = 3;
        }
        // The monitor list is emptied by the operator while a box is up.
        auto empty = [&] {
            line.state.tables.monitor.Clear();
            line.lists.monitor_rows.clear();
        };
        line.events.while_reporting = [&] {
            if (!c.empty_while_logging)
                empty();
        };
        int lines = 0;
        line.alive.Tick([&](std::string_view) {
            ++lines;
            if (c.empty_while_logging)
                empty();
        });
        EXPECT_EQ(lines, 1);
        EXPECT_EQ(line.events.lost.size(), c.empty_while_logging ? 0u : 1u);
        EXPECT_TRUE(line.sender.sent.empty());
        EXPECT_TRUE(line.lists.faults.empty()) << line.lists.faults.front();
    }
}

TEST(PollingErrorText, PutsTheCodeInPlaceOfTheNumber) {
    EXPECT_EQ(PollingErrorText(0), "polling error 0");
    EXPECT_EQ(PollingErrorText(101), "polling error 101");
    EXPECT_EQ(PollingErrorText(-1), "polling error -1");
}
