// The selection check before a set command or an upgrade: its order of
// tests, its messages and the agent it chooses.
#include "protocol/set/DeviceSelection.h"
#include "protocol/set/SetMessages.h"
#include "support/FakeNotifier.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <variant>
#include <vector>

using namespace kestrel;

namespace {

enum class In { Discovery, Monitor };

DeviceRecord Agent(uint16_t protocol, uint16_t iface, bool loader) {
    DeviceRecord r = ZeroRecord();
    SetFieldText(r.mac_text, "0a1b2c3d4e5f");
    r.protocol_version = protocol;
    r.interface_version = iface;
    r.agent_mode = loader ? AGENT_MODE_LOADER : 0;
    return r;
}

constexpr SetCommandKind kAllKinds[] = {SetCommandKind::Configuration,
                                        SetCommandKind::PasswordChange, SetCommandKind::DhcpRefresh,
                                        SetCommandKind::FirmwareUpgrade};

bool TestsLoaderMode(SetCommandKind kind) {
    return kind == SetCommandKind::Configuration || kind == SetCommandKind::PasswordChange;
}

struct Case {
    const char* name;
    int discovery_rows;
    int monitor_rows;
    // The agent behind the selected row: record 1 of the list meant, with
    // a decoy at 0 so that a wrong index shows.
    uint16_t protocol = 2;
    uint16_t iface = 3;
    bool loader = false;
    bool found = true;
    // nullopt: go ahead
    std::optional<Message> refusal;
    std::optional<Message> refusal_when_loader_tested = std::nullopt;
    In expected_list = In::Discovery;
};

const Case kCases[] = {
    {"none selected", 0, 0, 2, 3, false, true, kSelectOneDevice},
    {"two in discovery", 2, 0, 2, 3, false, true, kOnlyOneDevice},
    {"two in monitor", 0, 2, 2, 3, false, true, kOnlyOneDevice},
    {"two in monitor, one in discovery", 1, 2, 2, 3, false, true, kOnlyOneDevice},
    {"one in each list takes the discovery one", 1, 1, 2, 3, false, true, std::nullopt,
     std::nullopt, In::Discovery},
    {"monitor only", 0, 1, 2, 3, false, true, std::nullopt, std::nullopt, In::Monitor},
    {"interface 1", 1, 0, 2, 1, false, true, std::nullopt},
    {"interface 2", 0, 1, 2, 2, false, true, std::nullopt, std::nullopt, In::Monitor},
    {"interface 3", 1, 0, 2, 3, false, true, std::nullopt},
    {"interface 4", 1, 0, 2, 4, false, true, kInterfaceVersionNotSupported},
    {"protocol 1", 0, 1, 1, 3, false, true, kProtocolVersionNotSupported},
    {"protocol 3 before interface 4", 1, 0, 3, 4, false, true, kProtocolVersionNotSupported},
    {"loader from discovery", 1, 0, 2, 3, true, true, std::nullopt, kLoaderModeDiscovery},
    {"loader from monitor", 0, 1, 2, 3, true, true, std::nullopt, kLoaderModeMonitor, In::Monitor},
    {"loader with interface 4 fails the version first", 1, 0, 2, 4, true, true,
     kInterfaceVersionNotSupported},
    {"row without its record", 1, 0, 2, 3, false, false, kSelectedDeviceGone},
    {"monitor row without its record", 0, 1, 2, 3, false, false, kSelectedDeviceGone},
};

} // namespace

TEST(DeviceSelection, OrderOfTestsMessagesAndChosenAgentPerCommandKind) {
    for (const Case& c : kCases) {
        for (const SetCommandKind kind : kAllKinds) {
            SCOPED_TRACE(std::string(c.name) + ", kind " + std::to_string(static_cast<int>(kind)));
            DeviceTables tables;
            // Two agents in each table; the one meant is at index 1.
            for (DeviceTable* table : {&tables.discovery, &tables.monitor}) {
                ASSERT_TRUE(table->Append(Agent(2, 3, false)));
                ASSERT_TRUE(table->Append(Agent(c.protocol, c.iface, c.loader)));
            }
            const ListSelection selection{c.discovery_rows, c.monitor_rows,
                                          c.found ? std::optional<int>(1) : std::nullopt};

            const SelectionResult result = CheckDeviceSelection(tables, selection, kind);
            FakeNotifier notifier;
            const std::optional<ChosenAgent> chosen =
                ChooseAgent(tables, selection, kind, notifier);

            std::optional<Message> expected = c.refusal;
            if (!expected && TestsLoaderMode(kind))
                expected = c.refusal_when_loader_tested;
            if (expected) {
                ASSERT_TRUE(std::holds_alternative<Message>(result));
                EXPECT_EQ(std::get<Message>(result), *expected);
                // The window's buttons show the refusal, once.
                EXPECT_EQ(chosen, std::nullopt);
                ASSERT_EQ(notifier.shown.size(), 1u);
                EXPECT_EQ(notifier.shown[0],
                          (ShownMessage{std::string(expected->text), "Error", MessageIcon::Error}));
                continue;
            }
            const AgentList list =
                c.expected_list == In::Monitor ? AgentList::Monitor : AgentList::Discovery;
            ASSERT_TRUE(std::holds_alternative<ChosenAgent>(result));
            const ChosenAgent& agent = std::get<ChosenAgent>(result);
            EXPECT_EQ(agent, (ChosenAgent{list, 1}));
            EXPECT_EQ(agent.in_monitor(), c.expected_list == In::Monitor);
            EXPECT_EQ(
                &agent.Record(tables),
                &(c.expected_list == In::Monitor ? tables.monitor : tables.discovery).records[1]);
            EXPECT_EQ(chosen, agent);
            EXPECT_TRUE(notifier.shown.empty());
        }
    }
}

TEST(DeviceSelection, IndexPastTheRecordsInUseIsRefused) {
    DeviceTables tables;
    ASSERT_TRUE(tables.monitor.Append(Agent(2, 3, false)));
    FakeNotifier notifier;
    for (const int index : {1, 255, 256, -1}) {
        SCOPED_TRACE(index);
        notifier.shown.clear();
        const SelectionResult result =
            CheckDeviceSelection(tables, {0, 1, index}, SetCommandKind::DhcpRefresh);
        ASSERT_TRUE(std::holds_alternative<Message>(result));
        EXPECT_EQ(std::get<Message>(result), kSelectedDeviceGone);
        EXPECT_EQ(ChooseAgent(tables, {0, 1, index}, SetCommandKind::DhcpRefresh, notifier),
                  std::nullopt);
        EXPECT_EQ(notifier.Texts(),
                  std::vector<std::string>{std::string(kSelectedDeviceGone.text)});
    }
}
