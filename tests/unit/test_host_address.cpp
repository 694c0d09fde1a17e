#include "protocol/wire/HostAddress.h"
#include "protocol/wire/Ipv4Text.h"

#include <gtest/gtest.h>

using namespace kestrel;

TEST(HostAddress, ByAddressClass) {
    const struct {
        const char* address;
        bool legal;
    } cases[] = {
        // class A
        {"0.0.0.0", false},
        {"0.1.2.3", false},
        {"127.0.0.1", false},
        {"10.0.0.0", false},
        {"10.255.255.255", false},
        {"10.0.0.1", true},
        {"1.0.0.1", true},
        {"126.255.255.254", true},
        {"10.0.1.0", true},
        // class B: bits 16 to 29 are the network
        {"128.0.0.1", false},
        {"128.0.255.1", false},
        {"128.1.0.1", true},
        {"172.16.0.0", false},
        {"172.16.255.255", false},
        {"172.16.0.1", true},
        {"172.16.1.0", true},
        // class C: bits 8 to 28 are the network
        {"192.0.0.1", false},
        {"192.0.0.254", false},
        {"223.224.0.1", true},
        {"191.192.0.1", true},
        {"192.0.1.1", true},
        {"192.168.1.255", false},
        {"192.168.1.0", false},
        {"192.168.1.1", true},
        {"223.255.255.254", true},
        // classes D and E
        {"224.0.0.1", false},
        {"239.255.255.250", false},
        {"240.1.2.3", false},
        {"255.255.255.255", false},
    };
    for (const auto& c : cases) {
        const auto value = ParseIpv4(c.address);
        ASSERT_TRUE(value) << c.address;
        EXPECT_EQ(IsLegalHostAddress(*value), c.legal) << c.address;
    }
}
