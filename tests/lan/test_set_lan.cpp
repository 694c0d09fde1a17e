// The set exchange end to end: the real main window configures simulated
// agents through the Configuration setting dialog, by broadcast and
// multicast from the discovery list, by unicast from the monitor list, and
// shows what the agents answer. Runs inside scripts/lan.

#include "LanWindowFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

using namespace lan_window;

namespace {

constexpr int kDiscSystemName = 4; // discovery list columns
constexpr int kMonIp = 1;          // monitor list columns
constexpr int kMonSystemName = 5;

using SetLanTest = LanWindowFixture;

const char* const kAgent = "ip=198.18.1.1 mac=020000000001 iface=3 password=admin name=before "
                           "dhcp=0 subnet=255.254.0.0 gateway=198.18.0.254 trap=198.18.0.1\n";

} // namespace

TEST_F(SetLanTest, DiscoveryListAgentGetsTwoIdenticalDatagramsAndOneSetSuccesful) {
    StartSim(kAgent);
    Discover(1);
    SelectRow(discovery(), 0);

    Configure({.system_name = "renamed"});

    ASSERT_TRUE(WaitForMessage(kSetSuccessful));
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim.Count("REPLY 198.18.1.1 SET_REPLY") >= 2; }));
    QTest::qWait(300);
    const std::vector<std::string> requests = Requests("SET");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(Word(requests[0], "to"), "255.255.255.255");
    EXPECT_EQ(Word(requests[1], "to"), "239.255.255.250");
    EXPECT_EQ(Word(requests[0], "len"), Word(requests[1], "len"));
    EXPECT_EQ(Word(requests[0], "seq"), "0");
    EXPECT_EQ(Word(requests[1], "seq"), "0");
    // The agent takes identical copies from one sender as one request.
    EXPECT_EQ(sim.Count("SET 198.18.1.1 kind=config status=0"), 1);
    EXPECT_EQ(Shown(kSetSuccessful), 1);
    EXPECT_EQ(notifier.shown.size(), 1u);
    EXPECT_EQ(window->setExchange().sequence, 1);
    EXPECT_EQ(discovery().topLevelItem(0)->text(kDiscSystemName).toStdString(), "renamed");
}

TEST_F(SetLanTest, MonitorListAgentIsSentToItsOldAddressAndItsRowShowsTheNewOne) {
    StartSim(kAgent);
    Discover(1);
    SelectRow(discovery(), 0);
    Press("ctl1002"); // Add to monitor list
    ASSERT_EQ(monitor().topLevelItemCount(), 1);
    discovery().clearSelection();
    SelectRow(monitor(), 0);

    Configure({.system_name = "moved", .ip = "198.18.1.50"});

    ASSERT_TRUE(WaitForMessage(kSetSuccessful));
    const std::vector<std::string> requests = Requests("UNICAST_SET");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(Word(requests[0], "to"), "198.18.1.1");
    EXPECT_EQ(sim.Count("SET 198.18.1.1 kind=config status=0"), 1);
    EXPECT_EQ(sim.Count("now=198.18.1.50"), 1);
    ASSERT_EQ(monitor().topLevelItemCount(), 1);
    EXPECT_EQ(monitor().topLevelItem(0)->text(kMonIp).toStdString(), "198.18.1.50");
    EXPECT_EQ(monitor().topLevelItem(0)->text(kMonSystemName).toStdString(), "moved");
    EXPECT_EQ(Shown(kSetSuccessful), 1);
}

TEST_F(SetLanTest, WrongPasswordIsReportedOnceAndChangesNothing) {
    StartSim(kAgent);
    Discover(1);
    SelectRow(discovery(), 0);

    Configure({.password = "guess", .system_name = "renamed"});

    const ShownMessage password_error{"Device return : password error", "Error",
                                      kestrel::MessageIcon::Error};
    ASSERT_TRUE(WaitForMessage(password_error));
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim.Count("REPLY 198.18.1.1 SET_REPLY") >= 2; }));
    QTest::qWait(300);
    EXPECT_EQ(notifier.shown, std::vector<ShownMessage>({password_error}));
    EXPECT_EQ(discovery().topLevelItem(0)->text(kDiscSystemName).toStdString(), "before");
    EXPECT_EQ(sim.Count("SET 198.18.1.1 kind=config status=2"), 1);
}

TEST_F(SetLanTest, RequestsWithoutAnswersCarryTheSameSequence) {
    StartSim(kAgent);
    Discover(1);
    ASSERT_TRUE(sim.Command("set 198.18.1.1 set_silent=1"));

    for (int i = 0; i < 2; ++i) {
        SelectRow(discovery(), 0);
        Configure({.system_name = "unheard"});
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return Requests("SET").size() >= 4; }));
    QTest::qWait(300);
    for (const std::string& line : Requests("SET"))
        EXPECT_EQ(Word(line, "seq"), "0") << line;
    EXPECT_TRUE(notifier.shown.empty());
    EXPECT_EQ(window->setExchange().sequence, 0);

    // Answered at last: the same sequence again, and now it counts.
    ASSERT_TRUE(sim.Command("set 198.18.1.1 set_silent=0"));
    SelectRow(discovery(), 0);
    Configure({.system_name = "heard"});
    ASSERT_TRUE(WaitForMessage(kSetSuccessful));
    const std::vector<std::string> requests = Requests("SET");
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_EQ(Word(requests.back(), "seq"), "0");
    EXPECT_EQ(window->setExchange().sequence, 1);
    EXPECT_EQ(discovery().topLevelItem(0)->text(kDiscSystemName).toStdString(), "heard");
}

TEST_F(SetLanTest, WrongAnswersFromMisbehavingAgents) {
    const ShownMessage parameter_error{"Device return : parameters Error", "Error",
                                       kestrel::MessageIcon::Error};
    const ShownMessage unknown_error{"Device return : unknow error", "Error",
                                     kestrel::MessageIcon::Error};
    // The agent is told to misbehave after the discovery, so that only its
    // set answers are wrong. The monitor-list case comes last: the agent
    // stays in that list.
    const struct {
        const char* name;
        const char* keys;
        bool from_monitor;
        std::vector<ShownMessage> shown;
        bool row_changed;
        int sequence_step;
    } cases[] = {
        // A set reply with another sequence is no answer to this request.
        {"wrong sequence by broadcast", "wrong_seq=1", false, {}, false, 0},
        {"parameter error", "status=4", false, {parameter_error}, false, 1},
        {"unknown status", "status=9", false, {unknown_error}, false, 1},
        // By unicast too; the state it reports is still shown.
        {"wrong sequence by unicast", "wrong_seq=1", true, {}, true, 0},
    };
    StartSim(kAgent);
    int round = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(sim.Command("set 198.18.1.1 wrong_seq=0 status=-1"));
        Discover(1);
        ASSERT_TRUE(sim.Command(std::string("set 198.18.1.1 ") + c.keys));
        SelectRow(discovery(), 0);
        QTreeWidget* list = &discovery();
        int column = kDiscSystemName;
        if (c.from_monitor) {
            Press("ctl1002");
            discovery().clearSelection();
            SelectRow(monitor(), 0);
            list = &monitor();
            column = kMonSystemName;
        }
        const QString shown_before = list->topLevelItem(0)->text(column);
        const int sequence_before = window->setExchange().sequence;
        const int replies_before = sim.Count("SET_REPLY");
        const std::string new_name = "name" + std::to_string(++round);
        notifier.shown.clear();

        Configure({.system_name = new_name});

        ASSERT_TRUE(QTest::qWaitFor([&] { return sim.Count("SET_REPLY") > replies_before; }));
        QTest::qWait(500);
        EXPECT_EQ(notifier.shown, c.shown);
        EXPECT_EQ(list->topLevelItem(0)->text(column),
                  c.row_changed ? QString::fromStdString(new_name) : shown_before);
        EXPECT_EQ(window->setExchange().sequence, sequence_before + c.sequence_step);
    }
}

TEST_F(SetLanTest, ButtonChecksTheSelectionBeforeTheDialogOpens) {
    StartSim(kAgent + std::string("ip=198.18.1.2 mac=020000000002 iface=3 loader=1\n"));
    Discover(2);
    const struct {
        const char* name;
        std::vector<int> rows; // discovery rows selected
        std::string message;
    } cases[] = {
        {"nothing selected", {}, "Please select one device"},
        {"two selected", {0, 1}, "Only one device can be selected"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        discovery().clearSelection();
        for (const int row : c.rows)
            discovery().topLevelItem(row)->setSelected(true);
        notifier.shown.clear();
        const ModalAnswer answer([](QWidget* modal) { modal->close(); });
        Press("ctl1009");
        QTest::qWait(100);
        EXPECT_FALSE(answer.answered());
        EXPECT_EQ(notifier.shown,
                  std::vector<ShownMessage>({{c.message, "Error", kestrel::MessageIcon::Error}}));
    }
    // The loader agent, chosen in the discovery list.
    discovery().clearSelection();
    for (int row = 0; row < discovery().topLevelItemCount(); ++row)
        if (discovery().topLevelItem(row)->text(0) == QStringLiteral("020000000002"))
            SelectRow(discovery(), row);
    notifier.shown.clear();
    Press("ctl1009");
    EXPECT_EQ(notifier.shown,
              std::vector<ShownMessage>(
                  {{"Agent is in loader mode, it can't set \n it needs firmware upgrade", "Error",
                    kestrel::MessageIcon::Error}}));
    EXPECT_TRUE(Requests("SET").empty());
}
