// The list commands without widgets: the tables, the rows through the fake
// list hooks (same row rule as the real lists), and the boxes.

#include "protocol/lists/ListCommands.h"

#include "protocol/lists/ListMessages.h"
#include "protocol/wire/Ipv4Text.h"
#include "support/FakeListHooks.h"
#include "support/FakeNotifier.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

using namespace kestrel;

namespace {

using Texts = std::vector<std::string>;

ShownMessage Shown(const Message& m) {
    return {std::string(m.text), std::string(m.caption), m.icon};
}

std::string Mac(int n) {
    char text[13];
    std::snprintf(text, sizeof text, "0011223300%02x", n & 0xFF);
    return text;
}

std::string Ip(int n) {
    return "10.0." + std::to_string(n / 250) + "." + std::to_string(n % 250 + 1);
}

DeviceRecord Agent(const std::string& mac, const std::string& ip) {
    DeviceRecord r = ZeroRecord();
    SetFieldText(r.mac_text, mac);
    SetFieldText(r.ip_text, ip);
    r.ip = ParseIpv4(ip).value_or(0);
    r.status_image = kImageNotAlive; // a moved agent starts without an image
    r.row_state = kRowNew;
    return r;
}

struct Rig {
    DeviceTables tables;
    FakeListHooks hooks{tables};
    FakeNotifier notifier;
    ListCommands commands{tables, hooks, notifier};

    void Discovered(const DeviceRecord& r) {
        ASSERT_TRUE(tables.discovery.Append(r));
        hooks.RefreshDiscoveryRow(tables.discovery.count() - 1);
    }
    void Monitored(const DeviceRecord& r) {
        ASSERT_TRUE(tables.monitor.Append(r));
        hooks.RefreshMonitorRow(tables.monitor.count() - 1);
    }

    static Texts Ips(const DeviceTable& table) {
        Texts texts;
        for (const DeviceRecord& r : table.InUse())
            texts.emplace_back(FieldText(r.ip_text));
        return texts;
    }
    static Texts Macs(const DeviceTable& table) {
        Texts texts;
        for (const DeviceRecord& r : table.InUse())
            texts.emplace_back(FieldText(r.mac_text));
        return texts;
    }
    static Texts Ips(const std::vector<FakeListHooks::Row>& rows) {
        Texts texts;
        for (const FakeListHooks::Row& row : rows)
            texts.push_back(row.ip_text);
        return texts;
    }
    static Texts Macs(const std::vector<FakeListHooks::Row>& rows) {
        Texts texts;
        for (const FakeListHooks::Row& row : rows)
            texts.push_back(row.mac_text);
        return texts;
    }
};

} // namespace

TEST(ListCommands, MoveSkipsDuplicateAddressesAndLeavesNoGaps) {
    Rig t;
    t.Discovered(Agent(Mac(1), "10.0.0.1"));
    t.Discovered(Agent(Mac(2), "10.0.0.2"));
    t.Discovered(Agent(Mac(3), "10.0.0.3"));
    t.Discovered(Agent(Mac(4), "10.0.0.2")); // shares its address with the second
    const Texts selected = {Mac(1), Mac(2), Mac(3)};

    t.commands.MoveToMonitor(selected);

    EXPECT_EQ(t.notifier.shown, std::vector<ShownMessage>{Shown(kMoveDuplicateIp)});
    EXPECT_EQ(Rig::Ips(t.tables.monitor), Texts({"10.0.0.1", "10.0.0.3"}));
    EXPECT_EQ(Rig::Ips(t.hooks.monitor_rows), Texts({"10.0.0.1", "10.0.0.3"}));
    for (const DeviceRecord& r : t.tables.monitor.InUse()) {
        EXPECT_EQ(r.row_state, kRowNew);
        EXPECT_EQ(r.status_image, kImageNone);
    }
    EXPECT_EQ(Rig::Macs(t.tables.discovery), Texts({Mac(2), Mac(4)}));
    EXPECT_EQ(Rig::Macs(t.hooks.discovery_rows), Texts({Mac(2), Mac(4)}));
    EXPECT_EQ(FieldText(t.tables.discovery.records[2].mac_text), ""); // gap closed, rest zero
    EXPECT_TRUE(t.hooks.faults.empty());
}

TEST(ListCommands, MoveComparesAddressesNotMacs) {
    struct Case {
        const char* what;
        std::string monitored_mac, monitored_ip; // already in the monitor list
        std::string moved_mac, moved_ip;
        bool moves;
    };
    const Case cases[] = {
        {"monitored address", Mac(1), "10.0.0.1", Mac(9), "10.0.0.1", false},
        {"monitored MAC, other address", Mac(1), "10.0.0.1", Mac(1), "10.0.0.7", true},
        {"nothing shared", Mac(1), "10.0.0.1", Mac(2), "10.0.0.2", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig t;
        t.Monitored(Agent(c.monitored_mac, c.monitored_ip));
        t.Discovered(Agent(c.moved_mac, c.moved_ip));
        const Texts selected = {c.moved_mac};

        t.commands.MoveToMonitor(selected);

        EXPECT_EQ(t.tables.monitor.count(), c.moves ? 2 : 1);
        EXPECT_EQ(t.hooks.monitor_rows.size(), c.moves ? 2u : 1u);
        EXPECT_EQ(t.tables.discovery.count(), c.moves ? 0 : 1);
        EXPECT_EQ(t.hooks.discovery_rows.size(), c.moves ? 0u : 1u);
        EXPECT_EQ(t.notifier.shown.size(), c.moves ? 0u : 1u);
        EXPECT_TRUE(t.hooks.faults.empty());
    }
}

TEST(ListCommands, MoveIntoAFullMonitorListStopsWithOneBox) {
    Rig t;
    for (int i = 0; i < kTableCapacity - 1; ++i)
        t.Monitored(Agent(Mac(i), Ip(i)));
    for (int i = 1; i <= 3; ++i)
        t.Discovered(Agent("aa000000000" + std::to_string(i), "10.9.0." + std::to_string(i)));
    const Texts selected = {"aa0000000001", "aa0000000002", "aa0000000003"};

    t.commands.MoveToMonitor(selected);

    EXPECT_EQ(t.notifier.shown, std::vector<ShownMessage>{Shown(kMoveMonitorFull)});
    EXPECT_EQ(t.tables.monitor.count(), kTableCapacity);
    EXPECT_EQ(t.hooks.monitor_rows.size(), static_cast<std::size_t>(kTableCapacity));
    EXPECT_EQ(Rig::Ips(t.tables.discovery), Texts({"10.9.0.2", "10.9.0.3"}));
    EXPECT_EQ(Rig::Ips(t.hooks.discovery_rows), Texts({"10.9.0.2", "10.9.0.3"}));
    EXPECT_TRUE(t.hooks.faults.empty());
}

TEST(ListCommands, AddByAddress) {
    struct Case {
        const char* what;
        int monitored;             // agents in the monitor list first
        std::string discovered_ip; // one discovered agent, when not empty
        std::string added_ip;
        std::optional<Message> box; // none: added
    };
    const Case cases[] = {
        {"fresh address", 2, "10.5.0.1", "10.5.0.2", std::nullopt},
        {"monitor list full", kTableCapacity, "", "10.5.0.2", kAddMonitorFull},
        {"address monitored", 2, "", Ip(1), kAddDuplicateIp},
        {"address discovered", 2, "10.5.0.1", "10.5.0.1", kAddDuplicateIp},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig t;
        for (int i = 0; i < c.monitored; ++i)
            t.Monitored(Agent(Mac(i), Ip(i)));
        if (!c.discovered_ip.empty())
            t.Discovered(Agent("aa0000000001", c.discovered_ip));
        DeviceRecord added = Agent("", c.added_ip);
        added.status_image = kImageNone;

        EXPECT_EQ(t.commands.MonitorHasRoom(), c.monitored < kTableCapacity);
        t.notifier.shown.clear();
        t.commands.AddByAddress(added);

        const Texts ips = Rig::Ips(t.tables.monitor);
        if (c.box) {
            EXPECT_EQ(t.notifier.shown, std::vector<ShownMessage>{Shown(*c.box)});
            EXPECT_EQ(t.tables.monitor.count(), c.monitored);
        } else {
            EXPECT_TRUE(t.notifier.shown.empty());
            ASSERT_EQ(t.tables.monitor.count(), c.monitored + 1);
            EXPECT_EQ(ips.back(), c.added_ip);
            EXPECT_EQ(t.hooks.monitor_rows.back().ip_text, c.added_ip);
        }
        EXPECT_EQ(t.hooks.monitor_rows.size(), static_cast<std::size_t>(t.tables.monitor.count()));
        EXPECT_TRUE(t.hooks.faults.empty());
    }
}

TEST(ListCommands, DeleteByAddressByMacOrNotAtAll) {
    struct Case {
        const char* what;
        bool ok;
        Texts left;
    };
    const Case cases[] = {
        {"OK", true, {"10.0.0.1", "10.0.0.3"}},
        {"Cancel", false, {"10.0.0.1", "10.0.0.22", "10.0.0.3", "10.0.0.4"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig t;
        for (int i = 1; i <= 4; ++i)
            t.Monitored(Agent(Mac(i), "10.0.0." + std::to_string(i)));
        // Rows 2 and 4 are named; then agent 2 answers from a new address,
        // so its record and row are found only through the MAC text.
        const std::vector<RowKey> rows = {MonitorRowKey("10.0.0.2", Mac(2)),
                                          MonitorRowKey("10.0.0.4", Mac(4))};
        DeviceRecord& moved = t.tables.monitor.records[1];
        SetFieldText(moved.ip_text, "10.0.0.22");
        moved.row_state = kRowKnown;
        t.hooks.RefreshMonitorRow(1);
        t.notifier.answers = {c.ok};

        t.commands.DeleteMonitored(rows);

        EXPECT_EQ(t.notifier.shown, std::vector<ShownMessage>{Shown(kDeleteQuestion)});
        EXPECT_EQ(Rig::Ips(t.tables.monitor), c.left);
        EXPECT_EQ(Rig::Ips(t.hooks.monitor_rows), c.left);
        EXPECT_EQ(FieldText(t.tables.monitor.records[c.left.size()].ip_text), "");
        EXPECT_TRUE(t.hooks.faults.empty());
    }

    // Nothing named: no question at all.
    Rig t;
    t.Monitored(Agent(Mac(1), "10.0.0.1"));
    t.commands.DeleteMonitored({});
    EXPECT_TRUE(t.notifier.shown.empty());
    EXPECT_EQ(t.tables.monitor.count(), 1);
}
