// The polling driver: its timer, the period read when the wait is armed, the
// alive check's log lines, and what a pass and a tick report.

#include "monitor/PollingTimer.h"

#include "RecordingSender.h"
#include "ScratchDir.h"
#include "support/CoreState.h"
#include "support/FakeListHooks.h"
#include "support/FakeNotifier.h"
#include "support/RecordingEvents.h"

#include <QTimer>
#include <gtest/gtest.h>

#include <string>

using namespace kestrel;

namespace {

// Starts at 03/07/2006 14:05:09 and moves on a second on every reading.
class SteppingClock : public Clock {
public:
    std::tm LocalNow() const override {
        std::tm t{};
        t.tm_year = 106;
        t.tm_mon = 2;
        t.tm_mday = 7;
        t.tm_hour = 14;
        t.tm_min = 5;
        t.tm_sec = 9 + readings_++;
        return t;
    }

private:
    mutable int readings_ = 0;
};

struct Rig {
    explicit Rig(int agents, std::filesystem::path log_file = {}) {
        state.settings.utility_id = 0x4B455354;
        state.settings.base_port = 5010;
        for (int n = 1; n <= agents; ++n) {
            DeviceRecord r = ZeroRecord();
            r.ip = 0xC6120100u + static_cast<uint32_t>(n);
            SetFieldText(r.ip_text, "198.18.1." + std::to_string(n));
            r.status_image = kImageNone;
            r.reply_flag = 1;
            EXPECT_TRUE(state.tables.monitor.Append(r));
            lists.RefreshMonitorRow(n - 1);
        }
        log = log_file.empty() ? scratch / "syslog.log" : log_file;
        event_log = std::make_unique<EventLog>(log, clock, log_boxes);
        driver = std::make_unique<PollingTimer>(PollingTimer::Seams{.settings = state.settings,
                                                                    .monitor = state.tables.monitor,
                                                                    .sender = sender,
                                                                    .lists = lists,
                                                                    .events = events,
                                                                    .log = *event_log});
        timer = driver->findChild<QTimer*>(QStringLiteral("pollingTimer"));
    }

    std::string LogText() const {
        const std::vector<uint8_t> bytes = ReadAll(log);
        return {bytes.begin(), bytes.end()};
    }

    ScratchDir scratch;
    std::filesystem::path log;
    CoreState state;
    std::vector<std::string> calls;
    RecordingSender sender{state.tables, calls};
    FakeListHooks lists{state.tables};
    RecordingEvents events;
    FakeNotifier log_boxes; // the event log's own boxes
    SteppingClock clock;
    std::unique_ptr<EventLog> event_log;
    std::unique_ptr<PollingTimer> driver;
    QTimer* timer = nullptr;
};

} // namespace

TEST(PollingTimer, FirstPassAtStartThenTheWaitOfTheDefaultPeriod) {
    Rig t(3);
    ASSERT_NE(t.timer, nullptr);
    EXPECT_EQ(t.driver->armedMs(), -1);
    t.driver->Start();
    EXPECT_EQ(t.sender.sent.size(), 3u);
    EXPECT_TRUE(t.timer->isActive());
    EXPECT_TRUE(t.timer->isSingleShot());
    EXPECT_EQ(t.driver->armedMs(), 15000);
    t.driver->Step();
    EXPECT_EQ(t.sender.sent.size(), 6u);
    EXPECT_EQ(t.driver->armedMs(), 15000);
}

TEST(PollingTimer, APeriodChangeWaitsForTheWaitUnderWayToEnd) {
    Rig t(1);
    EXPECT_EQ(t.driver->refreshPeriod(), 15);
    t.driver->SetRefreshPeriod(300); // "5 mins"
    t.driver->Start();
    ASSERT_EQ(t.driver->armedMs(), 300000);

    t.driver->SetRefreshPeriod(15); // "15 secs" chosen during the wait
    EXPECT_EQ(t.driver->refreshPeriod(), 15);
    EXPECT_EQ(t.driver->armedMs(), 300000);
    EXPECT_GT(t.timer->remainingTime(), 15000);
    EXPECT_EQ(t.sender.sent.size(), 1u);

    t.driver->Step(); // the five minutes are over
    EXPECT_EQ(t.sender.sent.size(), 2u);
    EXPECT_EQ(t.driver->armedMs(), 15000);
}

TEST(PollingTimer, NoSecondPassWhileThePassBoxIsUp) {
    Rig t(4);
    t.sender.failing.insert(SocketKind::Unicast);
    t.sender.error_code = 101;
    int armed_during_box = 0;
    t.events.while_reporting = [&] {
        // The timer fires in the box's event loop: nothing happens.
        t.driver->Step();
        armed_during_box = t.driver->armedMs();
        EXPECT_TRUE(t.driver->passRunning());
    };
    t.driver->Start();
    EXPECT_EQ(armed_during_box, -1);
    EXPECT_EQ(t.sender.sent.size(), 4u);
    EXPECT_EQ(t.events.send_failures, (std::vector<SendFailure>{{SendKind::Poll, 101}}));
    EXPECT_EQ(t.events.order, std::vector<std::string>{"send failed"});
    EXPECT_TRUE(t.log_boxes.shown.empty());
    EXPECT_EQ(t.driver->armedMs(), 15000);
}

// A period chosen while the pass's failure box is up counts for the wait
// armed when the pass ends.
TEST(PollingTimer, APeriodChosenWhileThePassBoxIsUpCountsForTheNextWait) {
    struct Case {
        int period_s, wait_ms;
    };
    for (const Case c : {Case{15, 15000}, Case{30, 30000}, Case{60, 60000}, Case{120, 120000},
                         Case{300, 300000}}) {
        SCOPED_TRACE(c.period_s);
        Rig t(2);
        t.sender.fail_number = 0;
        t.events.while_reporting = [&] { t.driver->SetRefreshPeriod(c.period_s); };
        t.driver->Start();
        EXPECT_EQ(t.events.send_failures.size(), 1u);
        EXPECT_EQ(t.driver->armedMs(), c.wait_ms);
    }
}

TEST(PollingTimer, AliveCheckWritesOneLinePerSilentAgentWithTheTicksStamp) {
    Rig t(3);
    for (int n : {1, 3}) {
        DeviceRecord& r = t.state.tables.monitor.records[static_cast<std::size_t>(n - 1)];
        r.reply_flag = 0;
        r.missed_polls = 3;
    }
    t.driver->CheckAlive();
    t.driver->CheckAlive();
    // Each tick reports both; only the first tick's are news.
    EXPECT_EQ(t.events.lost, (std::vector<AgentLost>{{0, "198.18.1.1", "", true},
                                                     {2, "198.18.1.3", "", true},
                                                     {0, "198.18.1.1", "", false},
                                                     {2, "198.18.1.3", "", false}}));
    // One reading of the clock per tick, the same stamp for its lines.
    EXPECT_EQ(t.LogText(), "03/07/2006 14:05:09 198.18.1.1 Not alive \r\n"
                           "03/07/2006 14:05:09 198.18.1.3 Not alive \r\n"
                           "03/07/2006 14:05:10 198.18.1.1 Not alive \r\n"
                           "03/07/2006 14:05:10 198.18.1.3 Not alive \r\n");
    EXPECT_EQ(t.lists.monitor_rows[0].status_image, kImageNotAlive);
    EXPECT_EQ(t.lists.monitor_rows[1].status_image, kImageNone);
    EXPECT_TRUE(t.log_boxes.shown.empty());
    EXPECT_TRUE(t.events.send_failures.empty());
}

TEST(PollingTimer, AgentIsDeclaredAlsoWhenTheLogCannotBeOpened) {
    ScratchDir elsewhere;
    Rig t(2, elsewhere / "missing" / "syslog.log");
    for (DeviceRecord& r : t.state.tables.monitor.InUse()) {
        r.reply_flag = 0;
        r.missed_polls = 5;
    }
    t.driver->CheckAlive();
    for (const DeviceRecord& r : t.state.tables.monitor.InUse()) {
        EXPECT_EQ(r.row_state, kRowNotAlive);
        EXPECT_EQ(r.status_image, kImageNotAlive);
    }
    // Through the event log's boxes; the losses are reported all the same.
    EXPECT_EQ(t.log_boxes.Texts(),
              (std::vector<std::string>{"syslog.log not exit", "syslog.log not exit"}));
    EXPECT_EQ(t.events.lost.size(), 2u);
    EXPECT_TRUE(t.events.send_failures.empty());
}
