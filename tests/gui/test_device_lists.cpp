// The discovery and monitor lists through the real widgets: rows mirror the
// tables by key text, the move, delete, sorting, selection coupling and the
// "DHCP Refresh" button.

#include "ListsFixture.h"

#include <QSignalSpy>

using namespace kestrel;

namespace {

const ShownMessage kDuplicateMove{"Duplicate ip ", "Add fail", MessageIcon::Error};
const ShownMessage kDeleteQuestion{"Are you sure to delete this item ?", "Warning",
                                   MessageIcon::Warning};

class DeviceListsTest : public ListsFixture {};

std::string Mac(int n) {
    char text[13];
    std::snprintf(text, sizeof text, "0011223300%02x", n & 0xFF);
    return text;
}

} // namespace

TEST_F(DeviceListsTest, RowsShowEveryColumnOfTheirRecord) {
    DeviceRecord r = Agent("00a0c9112233", "10.1.2.3");
    SetFieldText(r.product_name, "Switch 8P");
    SetFieldText(r.system_name, "core");
    SetFieldText(r.location, "rack 4");
    SetFieldText(r.trap_ip_text, "10.1.2.250");
    SetFieldText(r.subnet_mask_text, "255.255.255.0");
    SetFieldText(r.gateway_text, "10.1.2.1");
    r.interface_version = 3;
    r.dhcp_state = kDhcpEnabled;
    r.group_interval = 45;
    Discovered(r);
    r.status_image = kImageNotAlive;
    Monitored(r);

    const Texts discovery_texts = {"00a0c9112233",  "10.1.2.3", "2.001.003", "Switch 8P",
                                   "core",          "enable",   "rack 4",    "10.1.2.250",
                                   "255.255.255.0", "10.1.2.1", "45"};
    ASSERT_EQ(discovery().topLevelItemCount(), 1);
    for (int c = 0; c < static_cast<int>(discovery_texts.size()); ++c)
        EXPECT_EQ(S(discovery().topLevelItem(0)->text(c)), discovery_texts[c]) << c;

    ASSERT_EQ(monitor().topLevelItemCount(), 1);
    QTreeWidgetItem* row = monitor().topLevelItem(0);
    EXPECT_EQ(S(row->text(0)), "");
    for (int c = 1; c < 12; ++c)
        EXPECT_EQ(S(row->text(c)), c == 1   ? "10.1.2.3"
                                   : c == 2 ? "00a0c9112233"
                                            : discovery_texts[c - 1])
            << c;
    EXPECT_FALSE(row->icon(0).isNull());
    EXPECT_EQ(S(row->data(0, Qt::AccessibleTextRole).toString()), "Not alive");
    EXPECT_EQ(FieldText(tables_.monitor.records[0].group_interval_text), "45");
}

TEST_F(DeviceListsTest, RefreshRewritesTheRowWithTheSameKeyWhereverItStands) {
    Discovered(Agent(Mac(1), "10.0.0.1"));
    Discovered(Agent(Mac(2), "10.0.0.2"));
    // The dispatcher stores a reply of agent 1 again, now with a name.
    DeviceRecord& r = tables_.discovery.records[0];
    r.row_state = kRowKnown;
    SetFieldText(r.system_name, "renamed");
    ClickRow(discovery(), 0);
    lists_->RefreshDiscoveryRow(0);

    EXPECT_EQ(Column(discovery(), 0), Texts({"001122330001", "001122330002"}));
    EXPECT_EQ(Column(discovery(), 4), Texts({"renamed", ""}));
    EXPECT_EQ(SelectedRows(discovery()), QList<int>{0}); // rewritten in place

    // Indices outside the rows in use and other row states change nothing.
    lists_->RefreshDiscoveryRow(2);
    lists_->RefreshDiscoveryRow(-1);
    lists_->RefreshMonitorRow(0);
    r.row_state = kRowNotAlive;
    SetFieldText(r.system_name, "ignored");
    lists_->RefreshDiscoveryRow(0);
    EXPECT_EQ(Column(discovery(), 4), Texts({"renamed", ""}));
    EXPECT_EQ(monitor().topLevelItemCount(), 0);
}

TEST_F(DeviceListsTest, MonitorRefreshFallsBackToTheMacText) {
    Monitored(Agent(Mac(1), "10.0.0.1"));
    Monitored(Agent(Mac(2), "10.0.0.2"));
    // The agent moved to another address; the dispatcher found it by MAC.
    DeviceRecord& r = tables_.monitor.records[1];
    SetFieldText(r.ip_text, "10.0.0.22");
    r.row_state = kRowKnown;
    r.status_image = kImageNotAlive;
    ClickRow(monitor(), 1);
    lists_->RefreshMonitorRow(1);

    EXPECT_EQ(Column(monitor(), 1), Texts({"10.0.0.1", "10.0.0.22"}));
    EXPECT_TRUE(SelectedRows(monitor()).isEmpty()); // shown afresh, unselected
    EXPECT_EQ(S(monitor().topLevelItem(1)->data(0, Qt::AccessibleTextRole).toString()),
              "Not alive");

    r.status_image = kImageNone;
    lists_->RefreshMonitorRow(1);
    EXPECT_TRUE(monitor().topLevelItem(1)->icon(0).isNull());
    EXPECT_EQ(S(monitor().topLevelItem(1)->data(0, Qt::AccessibleTextRole).toString()), "");
}

TEST_F(DeviceListsTest, MoveSkipsADuplicateAndLeavesNoGaps) {
    Discovered(Agent(Mac(1), "10.0.0.1"));
    Discovered(Agent(Mac(2), "10.0.0.2"));
    Discovered(Agent(Mac(3), "10.0.0.3"));
    Discovered(Agent(Mac(4), "10.0.0.2")); // shares its address with the second
    ClickRow(discovery(), 0);
    ClickRow(discovery(), 1, Qt::ControlModifier);
    ClickRow(discovery(), 2, Qt::ControlModifier);

    lists_->MoveToMonitorList();

    EXPECT_EQ(notifier_.shown, std::vector<ShownMessage>{kDuplicateMove});
    EXPECT_EQ(Column(monitor(), 1), Texts({"10.0.0.1", "10.0.0.3"}));
    EXPECT_EQ(Ips(tables_.monitor), Texts({"10.0.0.1", "10.0.0.3"}));
    EXPECT_EQ(tables_.monitor.records[0].row_state, kRowNew);
    EXPECT_EQ(tables_.monitor.records[1].status_image, kImageNone);
    EXPECT_EQ(Column(discovery(), 0), Texts({Mac(2), Mac(4)}));
    ASSERT_EQ(tables_.discovery.count(), 2);
    EXPECT_EQ(FieldText(tables_.discovery.records[0].mac_text), Mac(2));
    EXPECT_EQ(FieldText(tables_.discovery.records[1].mac_text), Mac(4));
    EXPECT_EQ(FieldText(tables_.discovery.records[2].mac_text), "");
}

TEST_F(DeviceListsTest, MoveChecksTheAddressNotTheMac) {
    Monitored(Agent(Mac(1), "10.0.0.1"));
    Discovered(Agent(Mac(9), "10.0.0.1")); // other MAC, monitored address
    Discovered(Agent(Mac(1), "10.0.0.7")); // monitored MAC, other address
    ClickRow(discovery(), 0);
    ClickRow(discovery(), 1, Qt::ControlModifier);

    lists_->MoveToMonitorList();

    EXPECT_EQ(notifier_.shown, std::vector<ShownMessage>{kDuplicateMove});
    EXPECT_EQ(Column(monitor(), 1), Texts({"10.0.0.1", "10.0.0.7"}));
    EXPECT_EQ(Column(monitor(), 2), Texts({Mac(1), Mac(1)}));
    EXPECT_EQ(Column(discovery(), 1), Texts({"10.0.0.1"}));
}

TEST_F(DeviceListsTest, MoveIntoAFullMonitorListIsRefused) {
    for (int i = 0; i < kTableCapacity - 1; ++i)
        Monitored(
            Agent(Mac(i), "10.1." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1)));
    Discovered(Agent("aa0000000001", "10.9.0.1"));
    Discovered(Agent("aa0000000002", "10.9.0.2"));
    Discovered(Agent("aa0000000003", "10.9.0.3"));
    ClickRow(discovery(), 0);
    ClickRow(discovery(), 1, Qt::ControlModifier);
    ClickRow(discovery(), 2, Qt::ControlModifier);
    const DeviceTable before = tables_.discovery;

    lists_->MoveToMonitorList();

    // One fits; the others stay, with one message for them.
    EXPECT_EQ(notifier_.shown, std::vector<ShownMessage>({{"out of 256 device in monitor list",
                                                           "Add fail", MessageIcon::Error}}));
    EXPECT_EQ(tables_.monitor.count(), kTableCapacity);
    EXPECT_EQ(monitor().topLevelItemCount(), kTableCapacity);
    EXPECT_EQ(FieldText(tables_.monitor.records[255].ip_text), "10.9.0.1");
    EXPECT_EQ(Column(discovery(), 1), Texts({"10.9.0.2", "10.9.0.3"}));
    ASSERT_EQ(tables_.discovery.count(), 2);
    EXPECT_EQ(FieldText(tables_.discovery.records[0].ip_text), "10.9.0.2");
    EXPECT_EQ(std::memcmp(&tables_.discovery.records[1], &before.records[2], kRecordSize), 0);

    // Now entirely full: nothing moves and nothing is written anywhere.
    notifier_.shown.clear();
    ClickRow(discovery(), 0);
    const DeviceTables full = tables_;
    lists_->MoveToMonitorList();
    EXPECT_EQ(notifier_.shown.size(), 1u);
    EXPECT_EQ(tables_.monitor.count(), kTableCapacity);
    EXPECT_EQ(
        std::memcmp(&tables_.monitor.records, &full.monitor.records, sizeof full.monitor.records),
        0);
    EXPECT_EQ(discovery().topLevelItemCount(), 2);
}

TEST_F(DeviceListsTest, DoubleClickMovesOnlyASingleSelectedRow) {
    Discovered(Agent(Mac(1), "10.0.0.1"));
    Discovered(Agent(Mac(2), "10.0.0.2"));
    Discovered(Agent(Mac(3), "10.0.0.3"));

    // Shift-double-click keeps two rows selected: nothing happens.
    ClickRow(discovery(), 0);
    DoubleClickRow(discovery(), 1, Qt::ShiftModifier);
    ASSERT_EQ(SelectedRows(discovery()), QList<int>({0, 1}));
    EXPECT_EQ(monitor().topLevelItemCount(), 0);
    EXPECT_EQ(tables_.discovery.count(), 3);
    EXPECT_TRUE(notifier_.shown.empty());

    // A plain double-click selects the row it hits and moves it; the row
    // that takes its place is not selected by the second click.
    DoubleClickRow(discovery(), 0);
    EXPECT_EQ(Column(monitor(), 1), Texts({"10.0.0.1"}));
    EXPECT_EQ(Column(discovery(), 1), Texts({"10.0.0.2", "10.0.0.3"}));
    EXPECT_EQ(tables_.discovery.count(), 2);
    EXPECT_TRUE(SelectedRows(discovery()).isEmpty());
}

TEST_F(DeviceListsTest, DeleteRemovesTheSelectedRowsAndTheirRecords) {
    for (int i = 1; i <= 5; ++i)
        Monitored(Agent(Mac(i), "10.0.0." + std::to_string(i)));
    ClickRow(monitor(), 1);
    ClickRow(monitor(), 3, Qt::ControlModifier);

    notifier_.answers = {false}; // Cancel
    lists_->DeleteItem();
    EXPECT_EQ(notifier_.shown, std::vector<ShownMessage>{kDeleteQuestion});
    EXPECT_EQ(tables_.monitor.count(), 5);
    EXPECT_EQ(monitor().topLevelItemCount(), 5);

    notifier_.shown.clear();
    lists_->DeleteItem();                                                   // OK
    EXPECT_EQ(notifier_.shown, std::vector<ShownMessage>{kDeleteQuestion}); // asked once
    EXPECT_EQ(Column(monitor(), 1), Texts({"10.0.0.1", "10.0.0.3", "10.0.0.5"}));
    EXPECT_EQ(Ips(tables_.monitor), Texts({"10.0.0.1", "10.0.0.3", "10.0.0.5"}));
    EXPECT_EQ(FieldText(tables_.monitor.records[3].ip_text), "");

    // Nothing selected: no question at all.
    monitor().clearSelection();
    notifier_.shown.clear();
    lists_->DeleteItem();
    EXPECT_TRUE(notifier_.shown.empty());
}

// Runs something while the question is open, as the event loop of a real
// message box would (a reply that rebuilds a row, for one).
class BusyQuestion : public FakeNotifier {
public:
    std::function<void()> while_asking;
    bool Ask(const Message& question) override {
        if (while_asking)
            while_asking();
        return FakeNotifier::Ask(question);
    }
};

TEST_F(DeviceListsTest, DeleteSurvivesRowsRebuiltWhileTheQuestionIsOpen) {
    BusyQuestion notifier;
    lists_ = std::make_unique<CDeviceLists>(&discovery(), &monitor(), &dhcp(), tables_, notifier,
                                            images_);
    for (int i = 1; i <= 4; ++i)
        Monitored(Agent(Mac(i), "10.0.0." + std::to_string(i)));
    ClickRow(monitor(), 1);
    ClickRow(monitor(), 3, Qt::ControlModifier);

    notifier.while_asking = [this] {
        // Agent 2 answers and moves to a new address; agent 4 just answers.
        // Their rows are rebuilt, the dispatcher puts the selection back.
        const SelectionMemo memo = lists_->RememberSelection();
        DeviceRecord& moved = tables_.monitor.records[1];
        moved.row_state = kRowKnown;
        SetFieldText(moved.ip_text, "10.0.0.22");
        lists_->RefreshMonitorRow(1);
        tables_.monitor.records[3].row_state = kRowKnown;
        lists_->RefreshMonitorRow(3);
        lists_->RestoreSelection(memo);
    };
    lists_->DeleteItem();

    EXPECT_EQ(notifier.shown, std::vector<ShownMessage>{kDeleteQuestion});
    EXPECT_EQ(Column(monitor(), 1), Texts({"10.0.0.1", "10.0.0.3"}));
    EXPECT_EQ(Ips(tables_.monitor), Texts({"10.0.0.1", "10.0.0.3"}));
}

TEST_F(DeviceListsTest, DeleteAfterSortFindsRecordsByAddress) {
    Monitored(Agent(Mac(1), "10.0.0.1"));
    Monitored(Agent(Mac(2), "10.0.0.2"));
    Monitored(Agent(Mac(3), "10.0.0.3"));
    ClickHeader(monitor(), 1); // descending: .3 .2 .1
    ASSERT_EQ(Column(monitor(), 1), Texts({"10.0.0.3", "10.0.0.2", "10.0.0.1"}));
    ClickRow(monitor(), 0);

    lists_->DeleteItem();

    EXPECT_EQ(Column(monitor(), 1), Texts({"10.0.0.2", "10.0.0.1"}));
    EXPECT_EQ(Ips(tables_.monitor), Texts({"10.0.0.1", "10.0.0.2"}));
}

TEST_F(DeviceListsTest, FirstHeaderClickSortsDescendingAndGroupIntervalOnlyFlips) {
    Discovered(Agent(Mac(1), "9.0.0.1"));
    Discovered(Agent(Mac(2), "10.0.0.9"));
    Discovered(Agent(Mac(3), "172.16.0.1"));
    const Texts table_order = Ips(tables_.discovery);

    ClickHeader(discovery(), 1);
    EXPECT_FALSE(lists_->sortAscending());
    EXPECT_EQ(Column(discovery(), 1), Texts({"9.0.0.1", "172.16.0.1", "10.0.0.9"}));

    ClickHeader(discovery(), 1);
    // Byte-wise: "10.0.0.9" < "172..." < "9.0.0.1".
    EXPECT_EQ(Column(discovery(), 1), Texts({"10.0.0.9", "172.16.0.1", "9.0.0.1"}));

    // "Group Interval" sorts nothing but turns the direction.
    ClickHeader(discovery(), 10);
    EXPECT_FALSE(lists_->sortAscending());
    EXPECT_EQ(Column(discovery(), 1), Texts({"10.0.0.9", "172.16.0.1", "9.0.0.1"}));
    ClickHeader(discovery(), 0); // so this one sorts ascending
    EXPECT_EQ(Column(discovery(), 0), Texts({"001122330001", "001122330002", "001122330003"}));
    EXPECT_EQ(lists_->sortColumn(), 0);

    EXPECT_EQ(Ips(tables_.discovery), table_order); // the table is never sorted
}

TEST_F(DeviceListsTest, DirectionIsSharedAndNewRowsGoLast) {
    Monitored(Agent(Mac(1), "10.0.0.1"));
    Monitored(Agent(Mac(2), "10.0.0.2"));
    Discovered(Agent(Mac(3), "10.0.0.3"));
    ClickHeader(discovery(), 1); // descending
    ClickHeader(monitor(), 1);   // the next click is ascending, in either list
    EXPECT_EQ(Column(monitor(), 1), Texts({"10.0.0.1", "10.0.0.2"}));
    ClickHeader(monitor(), 11); // monitor "Group Interval": flip only
    ClickHeader(monitor(), 2);  // ascending again
    EXPECT_EQ(Column(monitor(), 1), Texts({"10.0.0.1", "10.0.0.2"}));
    ClickHeader(monitor(), 2);
    EXPECT_EQ(Column(monitor(), 1), Texts({"10.0.0.2", "10.0.0.1"}));

    Monitored(Agent(Mac(4), "10.0.0.0"));
    EXPECT_EQ(Column(monitor(), 1), Texts({"10.0.0.2", "10.0.0.1", "10.0.0.0"}));
}

TEST_F(DeviceListsTest, StatusColumnSortsImagesAsSignedNumbers) {
    DeviceRecord dead = Agent(Mac(1), "10.0.0.1");
    dead.status_image = kImageNotAlive;
    Monitored(dead);
    Monitored(Agent(Mac(2), "10.0.0.2"));
    DeviceRecord trap = Agent(Mac(3), "10.0.0.3");
    trap.status_image = kImageNewTrap;
    Monitored(trap);

    ClickHeader(monitor(), 0); // descending: 1, 0, -1
    EXPECT_EQ(Column(monitor(), 1), Texts({"10.0.0.1", "10.0.0.3", "10.0.0.2"}));
    ClickHeader(monitor(), 0); // ascending: -1, 0, 1
    EXPECT_EQ(Column(monitor(), 1), Texts({"10.0.0.2", "10.0.0.3", "10.0.0.1"}));
}

TEST_F(DeviceListsTest, RefreshAfterSortUpdatesThatAgentsRow) {
    Monitored(Agent(Mac(1), "10.0.0.1"));
    Monitored(Agent(Mac(2), "10.0.0.2"));
    Monitored(Agent(Mac(3), "10.0.0.3"));
    ClickHeader(monitor(), 1); // .3 .2 .1

    // Record 0 (10.0.0.1, now the last row) is declared not alive.
    tables_.monitor.records[0].row_state = kRowNotAlive;
    tables_.monitor.records[0].status_image = kImageNotAlive;
    lists_->RefreshMonitorRow(0);

    EXPECT_EQ(Column(monitor(), 1), Texts({"10.0.0.3", "10.0.0.2", "10.0.0.1"}));
    EXPECT_EQ(S(monitor().topLevelItem(2)->data(0, Qt::AccessibleTextRole).toString()),
              "Not alive");
    EXPECT_EQ(S(monitor().topLevelItem(0)->data(0, Qt::AccessibleTextRole).toString()), "");
}

TEST_F(DeviceListsTest, DhcpRefreshFollowsTheClickedSingleRow) {
    DeviceRecord v3 = Agent(Mac(1), "10.0.0.1");
    v3.interface_version = 3;
    v3.dhcp_state = kDhcpEnabled;
    DeviceRecord v2 = Agent(Mac(2), "10.0.0.2");
    v2.interface_version = 2;
    v2.dhcp_state = kDhcpEnabled;
    DeviceRecord off = Agent(Mac(3), "10.0.0.3");
    off.interface_version = 3;
    off.dhcp_state = kDhcpDisabled;
    Discovered(v3);
    Discovered(v2);
    Monitored(off);
    DeviceRecord v4 = Agent(Mac(4), "10.0.0.4");
    v4.interface_version = 4;
    v4.dhcp_state = kDhcpEnabled;
    Monitored(v4);

    ClickRow(discovery(), 0);
    EXPECT_TRUE(dhcp().isEnabled());
    ClickRow(discovery(), 1);
    EXPECT_FALSE(dhcp().isEnabled());
    ClickRow(discovery(), 0);
    EXPECT_TRUE(dhcp().isEnabled());

    // Two rows selected in the clicked list: the button keeps its state.
    ClickRow(discovery(), 1, Qt::ControlModifier);
    EXPECT_TRUE(dhcp().isEnabled());

    // Arrow keys change the selection without a click.
    discovery().setFocus();
    ClickRow(discovery(), 0);
    QTest::keyClick(discovery().viewport(), Qt::Key_Down);
    EXPECT_EQ(SelectedRows(discovery()), QList<int>{1});
    EXPECT_TRUE(dhcp().isEnabled());

    // The monitor list: the coupling clears the discovery selection, the
    // button follows only the clicked row.
    ClickRow(monitor(), 1);
    EXPECT_TRUE(dhcp().isEnabled());
    ClickRow(monitor(), 0);
    EXPECT_FALSE(dhcp().isEnabled());
    ClickRow(discovery(), 0); // coupling clears the monitor row; click enables
    EXPECT_TRUE(dhcp().isEnabled());
    EXPECT_TRUE(SelectedRows(monitor()).isEmpty());
}

TEST_F(DeviceListsTest, SelectingInOneListClearsTheOther) {
    Discovered(Agent(Mac(1), "10.0.0.1"));
    Discovered(Agent(Mac(2), "10.0.0.2"));
    Monitored(Agent(Mac(3), "10.0.0.3"));
    Monitored(Agent(Mac(4), "10.0.0.4"));

    ClickRow(discovery(), 0);
    ClickRow(discovery(), 1, Qt::ControlModifier);
    ClickRow(monitor(), 0);
    EXPECT_TRUE(SelectedRows(discovery()).isEmpty());
    EXPECT_EQ(SelectedRows(monitor()), QList<int>{0});

    ClickRow(monitor(), 1, Qt::ControlModifier);
    ClickRow(discovery(), 1);
    EXPECT_TRUE(SelectedRows(monitor()).isEmpty());
    EXPECT_EQ(SelectedRows(discovery()), QList<int>{1});

    // Deselecting alone takes nothing from the other list.
    ClickRow(monitor(), 0);
    ClickRow(monitor(), 0, Qt::ControlModifier);
    EXPECT_TRUE(SelectedRows(monitor()).isEmpty());
    EXPECT_TRUE(SelectedRows(discovery()).isEmpty());
}

TEST_F(DeviceListsTest, SelectionSurvivesARefreshThroughRememberAndRestore) {
    Monitored(Agent(Mac(1), "10.0.0.1"));
    Monitored(Agent(Mac(2), "10.0.0.2"));
    Discovered(Agent(Mac(3), "10.0.0.3"));
    ClickRow(monitor(), 1);

    // As the dispatcher stores a reply of the selected agent.
    const SelectionMemo memo = lists_->RememberSelection();
    EXPECT_EQ(memo.monitor_row, std::optional<int>(1));
    EXPECT_EQ(memo.discovery_row, std::nullopt);
    tables_.monitor.records[1].row_state = kRowKnown;
    SetFieldText(tables_.monitor.records[1].system_name, "answered");
    lists_->RefreshMonitorRow(1);
    EXPECT_TRUE(SelectedRows(monitor()).isEmpty()); // the rebuilt row is unselected
    lists_->RestoreSelection(memo);

    EXPECT_EQ(SelectedRows(monitor()), QList<int>{1});
    EXPECT_EQ(S(monitor().topLevelItem(1)->text(5)), "answered");

    // A discovery selection comes back too; rows gone meanwhile are skipped.
    ClickRow(discovery(), 0);
    const SelectionMemo second = lists_->RememberSelection();
    EXPECT_EQ(second.discovery_row, std::optional<int>(0));
    lists_->ClearDiscoveryRows();
    lists_->RestoreSelection(second);
    EXPECT_EQ(discovery().topLevelItemCount(), 0);
}

TEST_F(DeviceListsTest, SelectedAgentNamesItsListAndRecordByKeyText) {
    using List = CDeviceLists::List;
    for (int i = 1; i <= 3; ++i)
        Discovered(Agent(Mac(i), "10.0.0." + std::to_string(i)));
    Monitored(Agent(Mac(4), "10.0.0.4"));
    Monitored(Agent(Mac(5), "10.0.0.5"));
    ClickHeader(discovery(), 0); // descending: rows no longer stand at their record's index

    struct Expected {
        int discovery_rows;
        int monitor_rows;
        std::optional<List> list;
        std::optional<int> index;
    };
    const auto expect = [this](const Expected& e) {
        const CDeviceLists::SelectedAgent got = lists_->selectedAgent();
        EXPECT_EQ(got.discovery_rows, e.discovery_rows);
        EXPECT_EQ(got.monitor_rows, e.monitor_rows);
        EXPECT_EQ(got.list, e.list);
        EXPECT_EQ(got.index, e.index);
    };

    {
        SCOPED_TRACE("nothing selected");
        expect({0, 0, std::nullopt, std::nullopt});
    }
    {
        SCOPED_TRACE("one discovery row");
        ClickRow(discovery(), 0); // Mac(3), record 2
        expect({1, 0, List::Discovery, 2});
    }
    {
        SCOPED_TRACE("two discovery rows: the first from the top is meant");
        ClickRow(discovery(), 2, Qt::ControlModifier);
        expect({2, 0, List::Discovery, 2});
    }
    {
        SCOPED_TRACE("a monitor row");
        ClickRow(monitor(), 1);
        expect({0, 1, List::Monitor, 1});
    }
    {
        SCOPED_TRACE("a monitor row found through its MAC text");
        SetFieldText(tables_.monitor.records[1].ip_text, "10.0.0.55"); // the row still shows .5
        expect({0, 1, List::Monitor, 1});
    }
    {
        SCOPED_TRACE("both lists: the discovery list is meant");
        const QSignalBlocker no_coupling(discovery().selectionModel());
        discovery().topLevelItem(1)->setSelected(true); // Mac(2), record 1
        expect({1, 1, List::Discovery, 1});
    }
    {
        SCOPED_TRACE("a row whose record is gone");
        tables_.discovery.Clear();
        expect({1, 1, List::Discovery, std::nullopt});
    }
}

TEST_F(DeviceListsTest, RowsAreFoundByKeyAfterTheListWasClearedOrEmptied) {
    Discovered(Agent(Mac(1), "10.0.0.1"));
    Discovered(Agent(Mac(2), "10.0.0.2"));
    DeviceRecord& r = tables_.discovery.records[0];

    // A new discovery: the same agent comes back with a new row.
    lists_->ClearDiscoveryRows();
    tables_.discovery.Clear();
    Discovered(Agent(Mac(2), "10.0.0.2"));
    r.row_state = kRowKnown;
    SetFieldText(r.system_name, "again");
    lists_->RefreshDiscoveryRow(0);
    EXPECT_EQ(Column(discovery(), 0), Texts({Mac(2)}));
    EXPECT_EQ(Column(discovery(), 4), Texts({"again"}));

    // Rows taken by the widget itself are not found either: the row is shown again.
    discovery().clear();
    SetFieldText(r.system_name, "shown");
    lists_->RefreshDiscoveryRow(0);
    EXPECT_EQ(Column(discovery(), 0), Texts({Mac(2)}));
    EXPECT_EQ(Column(discovery(), 4), Texts({"shown"}));
}
