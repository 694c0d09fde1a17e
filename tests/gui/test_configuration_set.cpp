// The Configuration setting dialog through its real widgets, offscreen: what
// it shows, how the DHCP buttons drive the address controls, the checks of
// Set with their messages, the re-join before them, and the one request it
// sends.

#include "HeldRejoinSender.h"
#include "app/OutcomeBoxes.h"
#include "config/ui/Configuration_Set.h"
#include "controls/ColourScheme.h"
#include "core/CoreEvents.h"
#include "protocol/wire/Ipv4Text.h"
#include "support/AgentRecords.h"
#include "support/CoreState.h"
#include "support/FakeNotifier.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace kestrel;
using test_agents::Agent;
using test_agents::Ip;

namespace {

std::string S(const QString& text) {
    return text.toStdString();
}

// The agent being configured: monitor record 1 (or discovery record 1).
DeviceRecord Target() {
    DeviceRecord r = Agent("0a1b2c3d4e5f", "192.168.1.5");
    SetFieldText(r.product_name, "KS-108");
    SetFieldText(r.system_name, "core");
    SetFieldText(r.location, "rack 2");
    r.subnet_mask = Ip("255.255.255.0");
    r.gateway = Ip("192.168.1.1");
    r.trap_ip = Ip("192.168.1.9");
    r.dhcp_state = kDhcpDisabled;
    r.group_interval = 120;
    r.field_mask[0] = 0x2003FF;
    return r;
}

class ConfigurationSetTest : public ::testing::Test {
protected:
    // The window's words for a failed send, as it connects them.
    ConfigurationSetTest() { boxes.Listen(events); }

    // Monitor: 192.168.1.7 then the target (or 192.168.1.6); discovery:
    // 192.168.1.8 then the target (or 192.168.1.6).
    void Open(bool in_monitor = true, std::optional<DeviceRecord> target = std::nullopt) {
        const DeviceRecord t = target.value_or(Target());
        const DeviceRecord filler = Agent("020000000006", "192.168.1.6");
        ASSERT_TRUE(state.tables.monitor.Append(Agent("020000000007", "192.168.1.7")));
        ASSERT_TRUE(state.tables.monitor.Append(in_monitor ? t : filler));
        ASSERT_TRUE(state.tables.discovery.Append(Agent("020000000008", "192.168.1.8")));
        ASSERT_TRUE(state.tables.discovery.Append(in_monitor ? filler : t));
        state.settings.utility_id = 0x4B455354;
        state.settings.base_port = 5010;
        state.settings.multicast_group = "239.255.255.250";
        const ChosenAgent agent{in_monitor ? AgentList::Monitor : AgentList::Discovery, 1};
        dialog = std::make_unique<CConfiguration_Set>(
            SetLink{state.settings, state.exchange, state.tables, sender}, events, notifier, agent,
            ListRowCounts{2, 2});
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    }

    template <class T> T& Find(const char* name) {
        T* w = dialog->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return *w;
    }
    QLineEdit& Edit(const char* name) { return Find<QLineEdit>(name); }
    IpAddressEdit& Address(const char* name) { return Find<IpAddressEdit>(name); }

    void Type(QLineEdit& edit, const char* text) {
        edit.selectAll();
        QTest::keyClick(&edit, Qt::Key_Backspace);
        QTest::keyClicks(&edit, QString::fromLatin1(text));
    }
    void Type(IpAddressEdit& edit, const char* address) {
        edit.clear();
        const QStringList octets = QString::fromLatin1(address).split(QLatin1Char('.'));
        for (int i = 0; i < octets.size() && i < IpAddressEdit::kOctets; ++i)
            QTest::keyClicks(&edit.octetBox(i), octets[i]);
    }
    void Click(const char* name) {
        QTest::mouseClick(&Find<QAbstractButton>(name), Qt::LeftButton);
    }

    CoreState state;
    std::vector<std::string> log;
    HeldRejoinSender sender{state.tables, log};
    FakeNotifier notifier;
    CoreEvents events;
    OutcomeBoxes boxes{notifier, notifier};
    std::unique_ptr<CConfiguration_Set> dialog;
};

} // namespace

TEST_F(ConfigurationSetTest, ShowsTheAgentsRecordWithItsLimitsAndNames) {
    Open();
    EXPECT_EQ(S(dialog->windowTitle()), "Configuration setting");
    EXPECT_EQ(S(Edit("ctl1024").text()), "KS-108");
    EXPECT_TRUE(Edit("ctl1024").isReadOnly());
    EXPECT_EQ(S(Edit("ctl1028").text()), "0a1b2c3d4e5f");
    EXPECT_TRUE(Edit("ctl1028").isReadOnly());
    EXPECT_EQ(S(Edit("ctl1027").text()), "core");
    EXPECT_EQ(S(Edit("ctl1031").text()), "rack 2");
    EXPECT_EQ(S(Edit("ctl1022").text()), "");
    EXPECT_EQ(Edit("ctl1022").echoMode(), QLineEdit::Password);
    EXPECT_EQ(S(Edit("ctl1032").text()), "120");
    EXPECT_TRUE(Edit("ctl1032").isEnabled());
    EXPECT_EQ(Address("ctl1033").value(), Ip("192.168.1.5"));
    EXPECT_EQ(Address("ctl1036").value(), Ip("255.255.255.0"));
    EXPECT_EQ(Address("ctl1034").value(), Ip("192.168.1.1"));
    EXPECT_EQ(Address("ctl1035").value(), Ip("192.168.1.9"));
    EXPECT_FALSE(Find<QRadioButton>("ctl1130").isChecked());
    EXPECT_TRUE(Find<QRadioButton>("ctl1131").isChecked());

    // Length limits: typing past them is not taken.
    for (const auto& [name, limit] : {std::pair{"ctl1027", 20}, std::pair{"ctl1031", 20},
                                      std::pair{"ctl1022", 20}, std::pair{"ctl1032", 4}}) {
        SCOPED_TRACE(name);
        Type(Edit(name), "123456789012345678901234");
        EXPECT_EQ(Edit(name).text().size(), limit);
    }

    // Every input is announced by its visible label.
    const std::pair<const char*, const char*> named[] = {
        {"ctl1024", "Product name"}, {"ctl1028", "MAC Address"},    {"ctl1027", "System name"},
        {"ctl1031", "Location"},     {"ctl1032", "Group Interval"}, {"ctl1022", "Password"},
        {"ctl1130", "Enable"},       {"ctl1131", "Disable"},
    };
    for (const auto& [name, label] : named)
        EXPECT_EQ(S(Find<QWidget>(name).accessibleName()), label) << name;
    for (const auto& [name, label] :
         {std::pair{"ctl1033", "IP Address"}, std::pair{"ctl1036", "Subnet mask"},
          std::pair{"ctl1034", "Gateway"}, std::pair{"ctl1035", "Set trap to"}}) {
        EXPECT_TRUE(
            Address(name).octetBox(0).accessibleName().startsWith(QString::fromLatin1(label)))
            << name;
        bool labelled = false;
        for (QLabel* l : dialog->findChildren<QLabel*>())
            labelled = labelled || (l->buddy() == &Address(name) && S(l->text()) == label);
        EXPECT_TRUE(labelled) << name;
    }
    EXPECT_EQ(S(Find<QLabel>("groupIntervalLabel").text()), "Group Interval");
}

TEST_F(ConfigurationSetTest, DhcpStateDecidesRadioButtonsAndAddressControls) {
    const struct {
        uint16_t dhcp;
        bool enable_checked, disable_checked, radios_enabled, addresses_enabled;
    } cases[] = {
        {kDhcpEnabled, true, false, true, false},
        {kDhcpDisabled, false, true, true, true},
        {kDhcpNotReported, false, false, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dhcp);
        state = CoreState{};
        DeviceRecord t = Target();
        t.dhcp_state = c.dhcp;
        t.group_interval = -1;
        Open(true, t);
        EXPECT_EQ(Find<QRadioButton>("ctl1130").isChecked(), c.enable_checked);
        EXPECT_EQ(Find<QRadioButton>("ctl1131").isChecked(), c.disable_checked);
        EXPECT_EQ(Find<QRadioButton>("ctl1130").isEnabled(), c.radios_enabled);
        EXPECT_EQ(Find<QRadioButton>("ctl1131").isEnabled(), c.radios_enabled);
        for (const char* name : {"ctl1033", "ctl1036", "ctl1034"})
            EXPECT_EQ(Address(name).isEnabled(), c.addresses_enabled) << name;
        EXPECT_TRUE(Address("ctl1035").isEnabled());
        EXPECT_FALSE(Edit("ctl1032").isEnabled());
        EXPECT_EQ(S(Edit("ctl1032").text()), "");
    }
}

TEST_F(ConfigurationSetTest, DhcpButtonsAreAnnouncedAsRadioButtonsInEveryState) {
    const struct {
        uint16_t dhcp;
        bool enable_checked, disable_checked;
    } cases[] = {
        {kDhcpEnabled, true, false},
        {kDhcpDisabled, false, true},
        {kDhcpNotReported, false, false}, // neither: the agent said nothing
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dhcp);
        state = CoreState{};
        DeviceRecord t = Target();
        t.dhcp_state = c.dhcp;
        Open(true, t);
        for (const auto& [name, checked] :
             {std::pair{"ctl1130", c.enable_checked}, std::pair{"ctl1131", c.disable_checked}}) {
            SCOPED_TRACE(name);
            QAccessibleInterface* node =
                QAccessible::queryAccessibleInterface(&Find<QRadioButton>(name));
            ASSERT_NE(node, nullptr);
            EXPECT_EQ(node->role(), QAccessible::RadioButton);
            EXPECT_TRUE(node->state().checkable);
            EXPECT_EQ(static_cast<bool>(node->state().checked), checked);
            EXPECT_EQ(Find<QRadioButton>(name).isChecked(), checked);
        }
    }
}

TEST_F(ConfigurationSetTest, EnableAndDisableSwitchTheAddressControls) {
    Open();
    for (int round = 0; round < 2; ++round) {
        Click("ctl1130");
        EXPECT_TRUE(Find<QRadioButton>("ctl1130").isChecked());
        EXPECT_FALSE(Find<QRadioButton>("ctl1131").isChecked());
        for (const char* name : {"ctl1033", "ctl1036", "ctl1034"})
            EXPECT_FALSE(Address(name).isEnabled()) << name;
        EXPECT_TRUE(Address("ctl1035").isEnabled());
        Click("ctl1131");
        EXPECT_FALSE(Find<QRadioButton>("ctl1130").isChecked());
        EXPECT_TRUE(Find<QRadioButton>("ctl1131").isChecked());
        for (const char* name : {"ctl1033", "ctl1036", "ctl1034"})
            EXPECT_TRUE(Address(name).isEnabled()) << name;
    }
    // A second click on the checked button leaves it checked.
    Click("ctl1131");
    EXPECT_TRUE(Find<QRadioButton>("ctl1131").isChecked());
}

namespace {

// One refused Set: the form as the test types it, and the box expected.
struct Refusal {
    const char* name;
    bool in_monitor = true;
    const char* password = "admin";
    bool dhcp_enable = false;
    const char* ip = nullptr; // nullptr: as loaded
    const char* mask = nullptr;
    const char* gateway = nullptr;
    const char* trap = nullptr;
    const char* group = nullptr;
    const char* text = "";
    const char* caption = "Error";
};

const Refusal kRefusals[] = {
    {.name = "empty password", .password = "", .text = "Password lengths between 1-20"},
    {.name = "password first, before a bad address",
     .password = "",
     .ip = "0.0.0.0",
     .trap = "127.0.0.1",
     .text = "Password lengths between 1-20"},
    {.name = "empty address", .ip = "", .text = "Illegal ip address"},
    {.name = "address before trap",
     .ip = "0.0.0.0",
     .trap = "224.0.0.1",
     .text = "Illegal ip address"},
    {.name = "address of another monitored agent",
     .ip = "192.168.1.7",
     .text = "The setting IP have already existed ",
     .caption = "Setting fail"},
    {.name = "address of a discovered agent, for a monitored one",
     .ip = "192.168.1.8",
     .text = "The setting IP have already existed ",
     .caption = "Setting fail"},
    {.name = "address of a monitored agent, for a discovered one",
     .in_monitor = false,
     .ip = "192.168.1.7",
     .text = "The setting IP have already existed ",
     .caption = "Setting fail"},
    {.name = "address of the last monitored row, for a discovered one",
     .in_monitor = false,
     .ip = "192.168.1.6",
     .text = "The setting IP have already existed ",
     .caption = "Setting fail"},
    {.name = "address of the last discovered row, for a monitored one",
     .ip = "192.168.1.6",
     .text = "The setting IP have already existed ",
     .caption = "Setting fail"},
    {.name = "duplicate before the mask",
     .ip = "192.168.1.7",
     .mask = "255.0.255.0",
     .text = "The setting IP have already existed ",
     .caption = "Setting fail"},
    {.name = "host part zero", .ip = "192.168.1.0", .text = "Subnet mask is illegal"},
    {.name = "host part all ones", .ip = "192.168.1.255", .text = "Subnet mask is illegal"},
    {.name = "host part before gateway",
     .ip = "192.168.1.0",
     .gateway = "10.0.0.1",
     .text = "Subnet mask is illegal"},
    {.name = "gateway in another net",
     .gateway = "10.0.0.1",
     .text = "Gateway and ip address are not in the same net "},
    {.name = "gateway before mask form",
     .mask = "255.0.255.0",
     .gateway = "10.0.0.1",
     .text = "Gateway and ip address are not in the same net "},
    {.name = "mask with a hole", .mask = "255.0.255.0", .text = "Invalid subnet"},
    {.name = "loopback trap", .trap = "127.0.0.1", .text = "Error Trap IP"},
    {.name = "multicast trap", .trap = "224.0.0.1", .text = "Error Trap IP"},
    {.name = "class A broadcast trap", .trap = "10.255.255.255", .text = "Error Trap IP"},
    {.name = "class C network trap", .trap = "192.168.1.0", .text = "Error Trap IP"},
    {.name = "trap still tested with DHCP on, addresses not",
     .dhcp_enable = true,
     .ip = "0.0.0.0",
     .trap = "10.255.255.255",
     .text = "Error Trap IP"},
    {.name = "trap before group interval",
     .trap = "127.0.0.1",
     .group = "12a",
     .text = "Error Trap IP"},
    {.name = "letter in group interval",
     .group = "12a",
     .text = "Group Interval only includes 0-9"},
    {.name = "sign in group interval", .group = "-120", .text = "Group Interval only includes 0-9"},
    {.name = "group interval below range",
     .group = "119",
     .text = "Group Interval value must between 120-1225\n0 means disable switch group interval"},
    {.name = "group interval above range",
     .group = "1226",
     .text = "Group Interval value must between 120-1225\n0 means disable switch group interval"},
};

} // namespace

TEST_F(ConfigurationSetTest, RefusedSetShowsTheFirstFailureKeepsInputAndSendsNothing) {
    for (const Refusal& c : kRefusals) {
        SCOPED_TRACE(c.name);
        state = CoreState{};
        sender.sent.clear();
        sender.rejoins = 0;
        notifier.shown.clear();
        Open(c.in_monitor);
        Type(Edit("ctl1022"), c.password);
        if (c.dhcp_enable)
            Click("ctl1130");
        if (c.ip)
            Type(Address("ctl1033"), c.ip);
        if (c.mask)
            Type(Address("ctl1036"), c.mask);
        if (c.gateway)
            Type(Address("ctl1034"), c.gateway);
        if (c.trap)
            Type(Address("ctl1035"), c.trap);
        if (c.group)
            Type(Edit("ctl1032"), c.group);
        const uint32_t ip_typed = Address("ctl1033").value();

        Click("ctl1011");

        EXPECT_EQ(notifier.shown,
                  std::vector<ShownMessage>({{c.text, c.caption, MessageIcon::Error}}));
        EXPECT_TRUE(sender.sent.empty());
        EXPECT_EQ(sender.rejoins, 1) << "the membership is renewed before the checks";
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(S(Edit("ctl1022").text()), c.password);
        EXPECT_EQ(Address("ctl1033").value(), ip_typed);
        if (c.group) {
            EXPECT_EQ(S(Edit("ctl1032").text()), c.group);
        }
        dialog.reset();
    }
}

namespace {

struct Accepted {
    const char* name;
    bool in_monitor = true;
    bool dhcp_enable = false;
    const char* ip = nullptr;
    const char* mask = nullptr;
    const char* gateway = nullptr;
    const char* trap = nullptr;
    const char* group = nullptr;
    int32_t group_sent = 120;
};

const Accepted kAccepted[] = {
    {.name = "unchanged address of the agent itself"},
    {.name = "address of another discovered agent, for a discovered one",
     .in_monitor = false,
     .ip = "192.168.1.8"},
    {.name = "host mask with any address",
     .ip = "192.168.1.0",
     .mask = "255.255.255.255",
     .gateway = "0.0.0.0"},
    {.name = "empty mask takes any gateway", .mask = "0.0.0.0", .gateway = "10.0.0.1"},
    {.name = "no gateway", .gateway = "0.0.0.0"},
    {.name = "no trap", .trap = "0.0.0.0"},
    {.name = "DHCP on skips the address checks", .dhcp_enable = true, .ip = "0.0.0.0"},
    {.name = "group interval 0", .group = "0", .group_sent = 0},
    {.name = "empty group interval", .group = "", .group_sent = 0},
    {.name = "group interval 1225", .group = "1225", .group_sent = 1225},
};

} // namespace

TEST_F(ConfigurationSetTest, AcceptedSetSendsOnceAndCloses) {
    for (const Accepted& c : kAccepted) {
        SCOPED_TRACE(c.name);
        state = CoreState{};
        sender.sent.clear();
        notifier.shown.clear();
        Open(c.in_monitor);
        Type(Edit("ctl1022"), "admin");
        if (c.dhcp_enable)
            Click("ctl1130");
        if (c.ip)
            Type(Address("ctl1033"), c.ip);
        if (c.mask)
            Type(Address("ctl1036"), c.mask);
        if (c.gateway)
            Type(Address("ctl1034"), c.gateway);
        if (c.trap)
            Type(Address("ctl1035"), c.trap);
        if (c.group)
            Type(Edit("ctl1032"), c.group);

        Click("ctl1011");

        EXPECT_TRUE(notifier.shown.empty());
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(dialog->result(), QDialog::Accepted);
        ASSERT_EQ(sender.sent.size(), c.in_monitor ? 1u : 2u);
        EXPECT_EQ(dialog->workingRecord().group_interval, c.group_sent);
        EXPECT_EQ(FieldText(dialog->workingRecord().password), "admin");
        dialog.reset();
    }
}

TEST_F(ConfigurationSetTest, RequestCarriesWhatWasTypedAndGoesToTheOldAddress) {
    Open(true);
    Type(Edit("ctl1027"), "edge");
    Type(Edit("ctl1031"), "hall");
    Type(Edit("ctl1022"), "secret");
    Type(Address("ctl1033"), "192.168.1.50");
    Type(Edit("ctl1032"), "300");
    const int missed_before = state.tables.monitor.records[1].missed_polls;

    Click("ctl1011");

    ASSERT_EQ(sender.sent.size(), 1u);
    const SentDatagram& d = sender.sent[0];
    EXPECT_EQ(d.from, SocketKind::Unicast);
    EXPECT_EQ(d.address, Ip("192.168.1.5"));
    EXPECT_EQ(d.port, 5012);
    EXPECT_EQ(state.tables.monitor.records[1].missed_polls, missed_before + 1);
    EXPECT_EQ(state.exchange.pending_mac, "0a1b2c3d4e5f");
    EXPECT_EQ(state.exchange.pending_ip, Ip("192.168.1.50"));
    const std::vector<uint8_t> fields(d.bytes.begin() + 40, d.bytes.end());
    const std::vector<uint8_t> expected = {
        0, 9,  0, 10, 's', 'e', 'c', 'r', 'e', 't', // password
        0, 1,  0, 10, 'K', 'S', '-', '1', '0', '8', // the agent's own product name
        0, 2,  0, 8,  'e', 'd', 'g', 'e',           // system name
        0, 3,  0, 8,  'h', 'a', 'l', 'l',           // location
        0, 4,  0, 8,  192, 168, 1,   50,            // new address
        0, 6,  0, 8,  192, 168, 1,   1,             // gateway
        0, 7,  0, 8,  192, 168, 1,   9,             // trap
        0, 5,  0, 8,  255, 255, 255, 0,             // mask
        0, 22, 0, 8,  0,   0,   1,   44,            // group interval 300
    };
    EXPECT_EQ(fields, expected) << "DHCP unchanged: no TLV_DHCP";
    // The tables wait for the agent's answer.
    EXPECT_EQ(state.tables.monitor.records[1].ip, Ip("192.168.1.5"));
    EXPECT_EQ(FieldText(state.tables.monitor.records[1].system_name), "core");
}

TEST_F(ConfigurationSetTest, DhcpChangeFollowsTheButtonsAgainstTheRecord) {
    const struct {
        uint16_t device;
        const char* click; // nullptr: untouched
        std::vector<uint8_t> dhcp_field;
    } cases[] = {
        {kDhcpDisabled, "ctl1130", {0, 10, 0, 6, 0, 1}},
        {kDhcpEnabled, "ctl1131", {0, 10, 0, 6, 0, 0}},
        {kDhcpEnabled, "ctl1130", {}},
        {kDhcpDisabled, nullptr, {}},
        {kDhcpNotReported, nullptr, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.device) + (c.click ? c.click : " none"));
        state = CoreState{};
        sender.sent.clear();
        DeviceRecord t = Target();
        t.dhcp_state = c.device;
        t.group_interval = -1;
        Open(true, t);
        Type(Edit("ctl1022"), "admin");
        if (c.click)
            Click(c.click);
        Click("ctl1011");
        ASSERT_EQ(sender.sent.size(), 1u);
        const std::vector<uint8_t>& bytes = sender.sent[0].bytes;
        const std::vector<uint8_t> tail(bytes.end() - static_cast<long>(c.dhcp_field.size()),
                                        bytes.end());
        EXPECT_EQ(tail, c.dhcp_field);
        // Without a change the datagram ends with the mask.
        if (c.dhcp_field.empty()) {
            EXPECT_EQ(bytes[bytes.size() - 7], TLV_SUBNET_MASK);
        }
        dialog.reset();
    }
}

TEST_F(ConfigurationSetTest, InterfaceVersionOneAgentGetsItsOneByteDhcp) {
    DeviceRecord t = Target();
    t.interface_version = 1;
    t.field_mask[0] = 0x3FF;
    t.group_interval = -1;
    Open(true, t);
    Type(Edit("ctl1022"), "admin");
    Click("ctl1130");
    Click("ctl1011");
    ASSERT_EQ(sender.sent.size(), 1u);
    const std::vector<uint8_t>& bytes = sender.sent[0].bytes;
    EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 5, bytes.end()),
              std::vector<uint8_t>({0, 10, 0, 5, 1}));
    EXPECT_EQ(bytes[11], 0) << "the header's interface version stays 0";
}

TEST_F(ConfigurationSetTest, SetWaitsForTheRejoinAndTakesNoSecondSetMeanwhile) {
    Open(false);
    sender.hold = true;
    Type(Edit("ctl1022"), "admin");

    Click("ctl1011");
    EXPECT_FALSE(Find<QPushButton>("ctl1011").isEnabled());
    dialog->OnSet(); // a second Set, however it comes
    EXPECT_EQ(sender.rejoins, 1);
    EXPECT_TRUE(sender.sent.empty());
    EXPECT_TRUE(dialog->isVisible());

    sender.Finish();
    EXPECT_EQ(sender.sent.size(), 2u);
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(ConfigurationSetTest, CancelDuringTheRejoinSendsNothing) {
    Open(true);
    sender.hold = true;
    Type(Edit("ctl1022"), "admin");
    Click("ctl1011");
    Click("ctl1015");
    EXPECT_FALSE(dialog->isVisible());
    sender.Finish();
    EXPECT_TRUE(sender.sent.empty());
    EXPECT_TRUE(notifier.shown.empty());

    // Also when the dialog is gone by then.
    dialog.reset();
    state = CoreState{};
    Open(true);
    Type(Edit("ctl1022"), "admin");
    Click("ctl1011");
    dialog.reset();
    sender.Finish();
    EXPECT_TRUE(sender.sent.empty());
}

TEST_F(ConfigurationSetTest, FailedSendIsShownAndTheDialogStillCloses) {
    Open(false);
    sender.failing = {SocketKind::Broadcast};
    Type(Edit("ctl1022"), "admin");
    Click("ctl1011");
    EXPECT_EQ(notifier.shown,
              std::vector<ShownMessage>({{"UDP set send error", "Error", MessageIcon::Error}}));
    EXPECT_EQ(sender.sent.size(), 1u);
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(ConfigurationSetTest, EnterAndEscapeNeitherSetNorClose) {
    Open(true);
    Type(Edit("ctl1022"), "admin");
    for (QWidget* focus : {static_cast<QWidget*>(&Edit("ctl1022")),
                           static_cast<QWidget*>(&Find<QPushButton>("ctl1011")),
                           static_cast<QWidget*>(&Find<QPushButton>("ctl1015"))}) {
        focus->setFocus();
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
            QTest::keyClick(focus, key);
    }
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(sender.sent.empty());
    EXPECT_EQ(sender.rejoins, 0);
}

TEST_F(ConfigurationSetTest, WhiteFaceBlackLabelsAndGreyReadOnlyFields) {
    Open();
    EXPECT_EQ(dialog->palette().color(QPalette::Window), colours::kWhite);
    EXPECT_TRUE(dialog->autoFillBackground());
    for (QLabel* label : dialog->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        EXPECT_EQ(label->palette().color(QPalette::Window), colours::kWhite)
            << label->text().toStdString();
        EXPECT_EQ(label->palette().color(QPalette::WindowText), colours::kBlack);
    }
    for (const char* name : {"ctl1130", "ctl1131"}) {
        EXPECT_EQ(Find<QWidget>(name).palette().color(QPalette::Window), colours::kWhite);
        EXPECT_EQ(Find<QWidget>(name).palette().color(QPalette::WindowText), colours::kBlack);
    }
    for (const char* name : {"ctl1022", "ctl1027", "ctl1031"}) {
        EXPECT_EQ(Edit(name).palette().color(QPalette::Base), colours::kWhite) << name;
        EXPECT_EQ(Edit(name).palette().color(QPalette::Text), colours::kBlack) << name;
    }
    const QPalette desktop = QApplication::palette();
    for (const char* name : {"ctl1024", "ctl1028"})
        EXPECT_EQ(Edit(name).palette().color(QPalette::Base), desktop.color(QPalette::Window))
            << name;
    EXPECT_EQ(Edit("ctl1032").palette().color(QPalette::Base), desktop.color(QPalette::Base));
}
