// The firmware upgrade's request and checks, without sockets: the trigger's
// bytes, the tests of the chosen agent before the dialog opens, and the
// checks of the form before anything is sent.

#include "ScratchDir.h"
#include "protocol/upgrade/UpgradeChecks.h"
#include "protocol/upgrade/UpgradeTrigger.h"
#include "protocol/wire/Ipv4Text.h"
#include "support/SetRequestBytes.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>

using namespace kestrel;
using set_bytes::Bytes;
using set_bytes::Cat;
using set_bytes::Header;

namespace {

uint32_t Ip(const char* text) {
    return ParseIpv4(text).value();
}

DeviceRecord Agent(const std::string& mac, const char* ip) {
    DeviceRecord r = ZeroRecord();
    SetFieldText(r.mac_text, mac);
    SetFieldText(r.ip_text, ip);
    r.ip = Ip(ip);
    return r;
}

ProtocolSettings Settings() {
    ProtocolSettings s;
    s.utility_id = 0x4B455354;
    s.base_port = 5010;
    s.multicast_group = "239.255.255.250";
    return s;
}

LocalNetwork Net(const char* address, const char* mask) {
    LocalNetwork n;
    n.address = Ip(address);
    n.mask = Ip(mask);
    return n;
}

std::optional<std::string> Text(const std::optional<Message>& m) {
    if (!m)
        return std::nullopt;
    return std::string(m->text);
}

TEST(UpgradeTrigger, HeaderWithCommandTenAndTheSequenceThenThePassword) {
    const DeviceRecord agent = Agent("0a1b2c3d4e5f", "192.168.1.5");
    EXPECT_EQ(BuildUpgradeTrigger(Settings(), 0x0102, agent, "pw"),
              Cat({Header(10, false, 0x0102), {0x00, 0x09, 0x00, 0x06, 'p', 'w'}}));

    const std::string twenty = "abcdefghijklmnopqrst";
    const Bytes tail = {0x00, 0x09, 0x00, 24};
    Bytes expected = Cat({Header(10, false, 0xFFFE), tail});
    expected.insert(expected.end(), twenty.begin(), twenty.end());
    EXPECT_EQ(BuildUpgradeTrigger(Settings(), 0xFFFE, agent, twenty), expected);
}

TEST(UpgradeTrigger, AnUnreadableMacTextLeavesTheMacBytesZero) {
    const DeviceRecord agent = Agent("not-a-mac", "192.168.1.5");
    const std::vector<uint8_t> trigger = BuildUpgradeTrigger(Settings(), 0, agent, "pw");
    ASSERT_GE(trigger.size(), 10u);
    EXPECT_EQ(std::vector<uint8_t>(trigger.begin() + 4, trigger.begin() + 10),
              std::vector<uint8_t>(6, 0));
}

struct TargetCase {
    const char* name;
    bool in_monitor;
    std::vector<const char*> discovery; // addresses, the target is record 1
    std::vector<const char*> monitor;
    std::vector<LocalNetwork> networks;
    std::optional<std::string> refusal;
};

TEST(UpgradeTarget, DuplicateAddressInItsOwnListThenTheSubnetOfThisComputer) {
    const std::vector<LocalNetwork> lan = {Net("127.0.0.1", "255.0.0.0"),
                                           Net("192.168.1.100", "255.255.255.0")};
    const std::string duplicate = "Duplicate IP";
    const std::string subnet = "The device IP and manager IP are not in the same subnet";
    const TargetCase cases[] = {
        {"plain", false, {"192.168.1.4", "192.168.1.5"}, {}, lan, std::nullopt},
        {"same address in the same list",
         false,
         {"192.168.1.5", "192.168.1.5"},
         {},
         lan,
         duplicate},
        {"same address in the other list",
         false,
         {"192.168.1.4", "192.168.1.5"},
         {"192.168.1.5"},
         lan,
         std::nullopt},
        {"duplicate in the monitor list", true, {}, {"192.168.1.5", "192.168.1.5"}, lan, duplicate},
        {"duplicate comes before the subnet", false, {"10.0.0.5", "10.0.0.5"}, {}, lan, duplicate},
        {"another network", false, {"192.168.1.4", "192.168.2.5"}, {}, lan, subnet},
        {"the second address's network",
         true,
         {},
         {"192.168.1.4", "10.1.2.3"},
         {Net("192.168.1.100", "255.255.255.0"), Net("10.0.0.1", "255.0.0.0")},
         std::nullopt},
        {"a /32 of its own",
         false,
         {"192.168.1.4", "172.16.0.9"},
         {},
         {Net("172.16.0.9", "255.255.255.255")},
         std::nullopt},
    };
    for (const TargetCase& c : cases) {
        SCOPED_TRACE(c.name);
        DeviceTables tables;
        int n = 0;
        for (const char* ip : c.discovery)
            ASSERT_TRUE(tables.discovery.Append(Agent("02000000000" + std::to_string(n++), ip)));
        for (const char* ip : c.monitor)
            ASSERT_TRUE(tables.monitor.Append(Agent("02000000000" + std::to_string(n++), ip)));
        const ChosenAgent chosen{c.in_monitor ? AgentList::Monitor : AgentList::Discovery, 1};
        EXPECT_EQ(Text(CheckUpgradeTarget(tables, chosen, c.networks)), c.refusal);
    }
}

TEST(UpgradeTarget, NoAddressOfThisComputerReadIsSaidAsSuch) {
    DeviceTables tables;
    ASSERT_TRUE(tables.discovery.Append(Agent("020000000001", "192.168.1.4")));
    ASSERT_TRUE(tables.discovery.Append(Agent("020000000002", "192.168.1.5")));
    const std::optional<Message> refusal =
        CheckUpgradeTarget(tables, {AgentList::Discovery, 1}, {});
    ASSERT_TRUE(refusal.has_value());
    EXPECT_NE(std::string(refusal->text).find("IPv4 addresses"), std::string::npos);
    EXPECT_EQ(refusal->icon, MessageIcon::Warning);
    EXPECT_EQ(refusal->caption, kPlainCaption);
}

class UpgradeFormTest : public ::testing::Test {
protected:
    std::string File(const char* name, uint64_t size) {
        const std::filesystem::path path = dir / name;
        WriteAll(path, {});
        std::filesystem::resize_file(path, size); // sparse: no disk used
        return path.string();
    }
    ScratchDir dir;
};

TEST_F(UpgradeFormTest, PasswordFirstThenTheFileThenItsSize) {
    const std::string ok = File("fw.hex", 1000);
    const std::string empty = File("empty.hex", 0);
    const std::string largest = File("largest.hex", 65535ull * 512 - 1);
    const std::string too_large = File("too-large.hex", 65535ull * 512);
    const std::string fifo = (dir / "fifo.hex").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    const std::string length = "Password lengths between 1-20";
    const std::string not_found = "Firmware file not found";
    const std::string large =
        "Firmware file too large: at most 65535 blocks of 512 bytes (33553919 bytes)";
    const struct {
        std::string password;
        std::string path;
        std::optional<std::string> refusal;
    } cases[] = {
        {"pw", ok, std::nullopt},
        {std::string(20, 'p'), ok, std::nullopt},
        {"pw", empty, std::nullopt},
        {"pw", largest, std::nullopt},
        {"", ok, length},
        {std::string(21, 'p'), ok, length},
        {"", (dir / "missing.hex").string(), length},
        {"pw", (dir / "missing.hex").string(), not_found},
        {"pw", "", not_found},
        {"pw", dir.path().string(), not_found}, // a folder
        {"pw", fifo, not_found},                // would block a plain open
        {"pw", too_large, large},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.password + " " + c.path);
        EXPECT_EQ(Text(CheckUpgradeForm(c.password, c.path)), c.refusal);
    }
}

} // namespace
