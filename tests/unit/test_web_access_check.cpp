// Which monitored agent web access opens, and the refusals in their order.

#include "config/WebAccess.h"
#include "protocol/wire/Ipv4Text.h"

#include <gtest/gtest.h>

#include <string>

using namespace kestrel;

namespace {

DeviceRecord Monitored(const char* ip_text, uint16_t mode = 0) {
    DeviceRecord r = ZeroRecord();
    SetFieldText(r.ip_text, ip_text);
    r.ip = ParseIpv4(ip_text).value_or(0);
    r.agent_mode = mode;
    return r;
}

} // namespace

TEST(WebAccessCheck, RefusalsInOrderThenTheAddressAsUrl) {
    DeviceTable monitor;
    ASSERT_TRUE(monitor.Append(Monitored("10.0.0.1")));
    ASSERT_TRUE(monitor.Append(Monitored("10.0.0.2", AGENT_MODE_LOADER)));
    ASSERT_TRUE(monitor.Append(Monitored("evil.example/x")));
    ASSERT_TRUE(monitor.Append(Monitored("10.0.0.4@evil.example")));

    constexpr auto kButton = WebAccessTrigger::Button;
    constexpr auto kDouble = WebAccessTrigger::DoubleClick;
    const struct {
        const char* name;
        ListSelection selection;
        WebAccessTrigger trigger;
        const char* failure; // nullptr: opens the url
        const char* url;
    } cases[] = {
        {"discovery row first",
         {1, 2, 0},
         kButton,
         "Only the devices in the monitor list can entry the web",
         nullptr},
        {"a row in each list, button",
         {1, 1, 0},
         kButton,
         "Only the devices in the monitor list can entry the web",
         nullptr},
        {"a row in each list, double-click", {1, 1, 0}, kDouble, nullptr, "http://10.0.0.1/"},
        {"two monitor rows", {0, 2, 0}, kButton, "Only one device can be selected", nullptr},
        {"two monitor rows, double-click",
         {3, 2, 0},
         kDouble,
         "Only one device can be selected",
         nullptr},
        {"no row",
         {0, 0, std::nullopt},
         kButton,
         "Please select one device in the monitor list",
         nullptr},
        {"no row, double-click",
         {0, 0, std::nullopt},
         kDouble,
         "Please select one device in the monitor list",
         nullptr},
        {"loader mode",
         {0, 1, 1},
         kButton,
         "Agent is in loader mode, it can't set \n it needs firmware upgrade",
         nullptr},
        {"one monitor row", {0, 1, 0}, kButton, nullptr, "http://10.0.0.1/"},
        {"not an address", {0, 1, 2}, kButton, "Browser web fail", nullptr},
        {"address with a user part", {0, 1, 3}, kDouble, "Browser web fail", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const WebAccessTarget t = CheckWebAccess(monitor, c.selection, c.trigger);
        if (c.failure) {
            ASSERT_TRUE(t.failure);
            EXPECT_EQ(t.failure->text, c.failure);
            EXPECT_EQ(t.failure->caption, "Error");
            EXPECT_EQ(t.failure->icon, MessageIcon::Error);
            EXPECT_FALSE(t.url);
        } else {
            ASSERT_TRUE(t.url);
            EXPECT_FALSE(t.failure);
            EXPECT_EQ(t.url->toString().toStdString(), c.url);
        }
    }
}
