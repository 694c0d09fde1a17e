// The trap table and OnTrap: payload parsing, who may send traps, what a trap
// changes, and the table's order when it is full.

#include "monitor/TrapReceiver.h"
#include "monitor/TrapTable.h"

#include "ScratchDir.h"
#include "support/CoreState.h"
#include "support/FakeListHooks.h"
#include "support/FakeNotifier.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace kestrel;

namespace {

std::string Text(int n) {
    return "event " + std::to_string(n);
}

TEST(TrapTable, FillsFromEntryZeroUntil1499) {
    TrapTable table;
    for (int n = 0; n < kTrapTableUsed; ++n)
        table.Add("01/02/2006 03:04:05", "198.18.1.1", Text(n));
    EXPECT_EQ(table.count(), 1499);
    EXPECT_EQ(table.size(), 1499);
    EXPECT_EQ(FieldText(table.Entry(0).event_text), "event 0");
    EXPECT_EQ(FieldText(table.Entry(1498).event_text), "event 1498");
    EXPECT_EQ(table.Entry(1498).read_mark, kTrapNew);
}

TEST(TrapTable, TheFifteenHundredthTrapDropsTheOldestAndTheCountGoesOn) {
    TrapTable table;
    for (int n = 0; n < 1500; ++n)
        table.Add("01/02/2006 03:04:05", "198.18.1.1", Text(n));
    EXPECT_EQ(table.count(), 1500);
    EXPECT_EQ(table.size(), 1499);
    EXPECT_EQ(FieldText(table.Entry(0).event_text), "event 1");
    EXPECT_EQ(FieldText(table.Entry(1498).event_text), "event 1499");

    // Many more: still in arrival order, every entry one step after the last.
    for (int n = 1500; n < 5000; ++n)
        table.Add("01/02/2006 03:04:05", "198.18.1.1", Text(n));
    EXPECT_EQ(table.count(), 5000);
    EXPECT_EQ(table.size(), 1499);
    for (int i = 0; i < table.size(); ++i)
        ASSERT_EQ(FieldText(table.Entry(i).event_text), Text(5000 - 1499 + i)) << "entry " << i;
}

TEST(TrapTable, ClearAllThenATrapFillsEntryZero) {
    TrapTable table;
    for (int n = 0; n < 1600; ++n)
        table.Add("01/02/2006 03:04:05", "198.18.1.1", Text(n));
    table.Clear();
    EXPECT_EQ(table.count(), 0);
    EXPECT_EQ(table.size(), 0);
    table.Add("12/31/2005 23:59:59", "198.18.1.9", "after clear");
    EXPECT_EQ(table.count(), 1);
    ASSERT_EQ(table.size(), 1);
    EXPECT_EQ(FieldText(table.Entry(0).event_text), "after clear");
    EXPECT_EQ(FieldText(table.Entry(0).ip_text), "198.18.1.9");
    EXPECT_EQ(FieldText(table.Entry(0).time_text), "12/31/2005 23:59:59");
}

TEST(TrapTable, ASerialFindsItsTrapUntilItIsDropped) {
    TrapTable table;
    table.Add("t", "198.18.1.1", "first");
    const uint64_t first = table.Entry(0).serial;
    for (int n = 1; n < kTrapTableUsed; ++n)
        table.Add("t", "198.18.1.1", Text(n));
    ASSERT_NE(table.BySerial(first), nullptr);
    EXPECT_EQ(FieldText(table.BySerial(first)->event_text), "first");
    const uint64_t last = table.Entry(1498).serial;
    table.Add("t", "198.18.1.1", "pushes first out");
    EXPECT_EQ(table.BySerial(first), nullptr);
    ASSERT_NE(table.BySerial(last), nullptr);
    EXPECT_EQ(FieldText(table.BySerial(last)->event_text), "event 1498");
    EXPECT_EQ(table.BySerial(last + 2), nullptr);
}

TEST(TrapTable, LongTextIsCutTo255Bytes) {
    TrapTable table;
    table.Add("t", "198.18.1.1", std::string(1400, 'x'));
    EXPECT_EQ(FieldText(table.Entry(0).event_text), std::string(255, 'x'));
}

TEST(TrapPayload, ParsesAddressAndTextUpToTheFirstNulOrTheEnd) {
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        bool valid;
        uint32_t address;
        std::string text;
    } cases[] = {
        {"text and NUL", {198, 18, 1, 2, 'u', 'p', 0}, true, 0xC6120102, "up"},
        {"stops at the first NUL", {198, 18, 1, 2, 'a', 0, 'b', 0}, true, 0xC6120102, "a"},
        {"no NUL: to the end", {10, 0, 0, 1, 'd', 'o', 'w', 'n'}, true, 0x0A000001, "down"},
        {"empty text with NUL", {198, 18, 1, 2, 0}, true, 0xC6120102, ""},
        {"address only", {198, 18, 1, 2}, true, 0xC6120102, ""},
        {"8-bit bytes kept", {1, 2, 3, 4, 0xE9, 0x1B, 0}, true, 0x01020304, "\xE9\x1B"},
        {"three bytes", {198, 18, 1}, false, 0, ""},
        {"nothing", {}, false, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto parsed = ParseTrapPayload(c.bytes);
        ASSERT_EQ(parsed.has_value(), c.valid);
        if (!parsed)
            continue;
        EXPECT_EQ(parsed->address, c.address);
        EXPECT_EQ(parsed->text, c.text);
    }
}

class FixedClock : public Clock {
public:
    std::tm LocalNow() const override {
        std::tm t{};
        t.tm_year = 2006 - 1900;
        t.tm_mon = 0;
        t.tm_mday = 2;
        t.tm_hour = 14;
        t.tm_min = 5;
        t.tm_sec = second;
        return t;
    }
    int second = 9;
};

class OnTrapTest : public ::testing::Test {
protected:
    OnTrapTest() {
        DeviceRecord a = ZeroRecord();
        SetFieldText(a.ip_text, "198.18.1.1");
        SetFieldText(a.mac_text, "0012ab000001");
        DeviceRecord b = ZeroRecord();
        SetFieldText(b.ip_text, "198.18.1.2");
        EXPECT_TRUE(state.tables.monitor.Append(a));
        EXPECT_TRUE(state.tables.monitor.Append(b));
        // The lists mirror the table, as after loading monitor.cfg.
        lists.RefreshMonitorRow(0);
        lists.RefreshMonitorRow(1);
        // The first agent was declared not alive.
        DeviceRecord& silent = state.tables.monitor.records[0];
        silent.row_state = kRowNotAlive;
        silent.status_image = kImageNotAlive;
        silent.missed_polls = 4;
        silent.reply_flag = 0;
        lists.RefreshMonitorRow(0);
        EXPECT_EQ(lists.monitor_rows.size(), 2u);
        EXPECT_EQ(lists.monitor_rows[0].status_image, kImageNotAlive);
        DeviceRecord d = ZeroRecord();
        SetFieldText(d.ip_text, "198.18.1.7");
        SetFieldText(d.mac_text, "0012ab000007");
        EXPECT_TRUE(state.tables.discovery.Append(d));
        lists.calls.clear();
    }

    std::string Log() {
        std::ifstream in(dir / "syslog.log", std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    ScratchDir dir;
    CoreState state;
    FakeListHooks lists{state.tables};
    FakeNotifier notifier;
    FixedClock clock;
    EventLog log{dir / "syslog.log", clock, notifier};
    TrapTable table;
    // What the window lights its lamp from, and the trap table's size then.
    std::vector<TrapEvent> told;
    std::vector<int> table_count_when_told;
    int lamp_lit = 0;
    TrapReceiver receiver{state.tables.monitor, lists, log, table, [this](const TrapEvent& e) {
                              ++lamp_lit;
                              told.push_back(e);
                              table_count_when_told.push_back(table.count());
                          }};
};

std::vector<uint8_t> Payload(std::vector<uint8_t> address, const std::string& text,
                             bool nul = true) {
    std::vector<uint8_t> bytes = std::move(address);
    bytes.insert(bytes.end(), text.begin(), text.end());
    if (nul)
        bytes.push_back(0);
    return bytes;
}

TEST_F(OnTrapTest, ATrapFromAMonitoredAgentLightsLogsStoresAndMarksItAlive) {
    receiver.OnTrap(Payload({198, 18, 1, 1}, "Port 3 link up"));

    EXPECT_EQ(lamp_lit, 1);
    const DeviceRecord& r = state.tables.monitor.records[0];
    EXPECT_EQ(r.status_image, kImageNone);
    EXPECT_EQ(r.row_state, kRowKnown);
    EXPECT_EQ(r.reply_flag, 1);
    EXPECT_EQ(r.missed_polls, 0);
    EXPECT_EQ(lists.calls, (std::vector<std::string>{"remember", "monitor 0", "restore"}));
    ASSERT_EQ(lists.monitor_rows.size(), 2u);
    EXPECT_EQ(lists.monitor_rows[0].status_image, kImageNone);
    EXPECT_TRUE(lists.faults.empty());

    EXPECT_EQ(Log(), "01/02/2006 14:05:09 198.18.1.1 Trap :Port 3 link up\r\n");
    ASSERT_EQ(table.size(), 1);
    EXPECT_EQ(table.count(), 1);
    EXPECT_EQ(FieldText(table.Entry(0).time_text), "01/02/2006 14:05:09");
    EXPECT_EQ(FieldText(table.Entry(0).ip_text), "198.18.1.1");
    EXPECT_EQ(FieldText(table.Entry(0).event_text), "Port 3 link up");
    EXPECT_EQ(table.Entry(0).read_mark, kTrapNew);
    EXPECT_TRUE(notifier.shown.empty());

    // Told once it is in the table, with the agent and the same stamp.
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].index, 0);
    EXPECT_EQ(told[0].ip_text, "198.18.1.1");
    EXPECT_EQ(told[0].mac_text, "0012ab000001");
    EXPECT_EQ(told[0].text, "Port 3 link up");
    EXPECT_EQ(told[0].stamp, "01/02/2006 14:05:09");
    EXPECT_EQ(table_count_when_told, std::vector<int>{1});
}

TEST_F(OnTrapTest, TrapsFromAgentsOutsideTheMonitorListLeaveNoTrace) {
    const std::vector<uint8_t> payloads[] = {
        Payload({198, 18, 1, 7}, "in the discovery list only"), Payload({198, 18, 1, 9}, "unknown"),
        Payload({198, 18, 1, 1}, ""), // too short below: the address is cut
    };
    receiver.OnTrap(payloads[0]);
    receiver.OnTrap(payloads[1]);
    receiver.OnTrap(std::span(payloads[2]).first(3));

    EXPECT_EQ(lamp_lit, 0);
    EXPECT_TRUE(told.empty());
    EXPECT_TRUE(lists.calls.empty());
    EXPECT_EQ(table.count(), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "syslog.log"));
    EXPECT_EQ(state.tables.monitor.records[0].row_state, kRowNotAlive);
}

TEST_F(OnTrapTest, TextsWithoutNulEmptyAndOverLong) {
    const std::string long_text(1400, 'L');
    receiver.OnTrap(Payload({198, 18, 1, 2}, "no nul", false));
    receiver.OnTrap(Payload({198, 18, 1, 2}, ""));
    receiver.OnTrap(Payload({198, 18, 1, 2}, long_text));

    ASSERT_EQ(table.size(), 3);
    EXPECT_EQ(FieldText(table.Entry(0).event_text), "no nul");
    EXPECT_EQ(FieldText(table.Entry(1).event_text), "");
    EXPECT_EQ(FieldText(table.Entry(2).event_text), long_text.substr(0, 255));
    // The log carries every trap whole, the empty one too.
    EXPECT_EQ(Log(), "01/02/2006 14:05:09 198.18.1.2 Trap :no nul\r\n"
                     "01/02/2006 14:05:09 198.18.1.2 Trap :\r\n"
                     "01/02/2006 14:05:09 198.18.1.2 Trap :" +
                         long_text + "\r\n");
    EXPECT_EQ(lamp_lit, 3);
    // The listener gets the whole text; the table keeps 255 bytes of it.
    ASSERT_EQ(told.size(), 3u);
    EXPECT_EQ(told[0].text, "no nul");
    EXPECT_EQ(told[1].text, "");
    EXPECT_EQ(told[2].text, long_text);
    EXPECT_EQ(told[2].index, 1);
    EXPECT_EQ(told[2].mac_text, "");
}

TEST_F(OnTrapTest, AFailedLogWriteIsReportedAndTheTrapStillStored) {
    std::filesystem::create_directory(dir / "syslog.log"); // cannot be opened as a file
    receiver.OnTrap(Payload({198, 18, 1, 1}, "kept"));
    EXPECT_EQ(notifier.shown,
              (std::vector<ShownMessage>{{"syslog.log not exit", "Error", MessageIcon::Error}}));
    ASSERT_EQ(table.size(), 1);
    EXPECT_EQ(FieldText(table.Entry(0).event_text), "kept");
    EXPECT_EQ(lamp_lit, 1);
}

TEST_F(OnTrapTest, AFloodOfOneTrapIsFoldedInTheLogAndKeptWholeInTheTable) {
    // 100000 identical traps from one agent over two seconds, then another trap.
    const std::vector<uint8_t> flood = Payload({198, 18, 1, 1}, "Port 3 link up");
    constexpr int kFlood = 100000;
    constexpr int kFirstSecond = 40000;
    for (int n = 0; n < kFlood; ++n) {
        clock.second = n < kFirstSecond ? 9 : 10;
        receiver.OnTrap(flood);
    }
    clock.second = 11;
    receiver.OnTrap(Payload({198, 18, 1, 1}, "Port 3 link down"));

    EXPECT_EQ(Log(), "01/02/2006 14:05:09 198.18.1.1 Trap :Port 3 link up\r\n"
                     "01/02/2006 14:05:09 198.18.1.1 last message repeated 39999 times\r\n"
                     "01/02/2006 14:05:10 198.18.1.1 Trap :Port 3 link up\r\n"
                     "01/02/2006 14:05:10 198.18.1.1 last message repeated 59999 times\r\n"
                     "01/02/2006 14:05:11 198.18.1.1 Trap :Port 3 link down\r\n");
    // The table and the lamp still see every trap.
    EXPECT_EQ(table.count(), kFlood + 1);
    EXPECT_EQ(lamp_lit, kFlood + 1);
    EXPECT_EQ(FieldText(table.Entry(table.size() - 1).event_text), "Port 3 link down");
    EXPECT_EQ(FieldText(table.Entry(table.size() - 2).event_text), "Port 3 link up");
    EXPECT_EQ(FieldText(table.Entry(table.size() - 2).time_text), "01/02/2006 14:05:10");
    EXPECT_TRUE(notifier.shown.empty());
}

} // namespace
