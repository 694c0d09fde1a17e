#include "protocol/lists/DeviceTables.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kestrel;

namespace {

DeviceRecord Agent(const std::string& mac, const std::string& ip, uint32_t ip_value) {
    DeviceRecord r = ZeroRecord();
    SetFieldText(r.mac_text, mac);
    SetFieldText(r.ip_text, ip);
    r.ip = ip_value;
    r.row_state = kRowKnown;
    return r;
}

std::vector<std::string> Macs(const DeviceTable& t) {
    std::vector<std::string> macs;
    for (int i = 0; i < t.count(); ++i)
        macs.emplace_back(FieldText(t.records[i].mac_text));
    return macs;
}

bool IsZero(const DeviceRecord& r) {
    for (uint8_t b : RecordBytes(r))
        if (b != 0)
            return false;
    return true;
}

void ExpectZeroFrom(const DeviceTable& t, int first) {
    for (int i = first; i < kTableCapacity; ++i)
        ASSERT_TRUE(IsZero(t.records[i])) << "record " << i;
}

} // namespace

TEST(DeviceTableGaps, DiscoveryRecordsWithMacMoveUpInOrder) {
    DeviceTable t;
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(t.Append(Agent("00000000000" + std::to_string(i),
                                   "10.0.0." + std::to_string(i + 1), 0x0A000001u + i)));
    ClearRecord(t.records[0]);
    ClearRecord(t.records[2]);
    ClearRecord(t.records[3]);

    CloseDiscoveryGaps(t);

    EXPECT_EQ(t.count(), 2);
    EXPECT_EQ(Macs(t), (std::vector<std::string>{"000000000001", "000000000004"}));
    EXPECT_EQ(FieldText(t.records[1].ip_text), "10.0.0.5");
    ExpectZeroFrom(t, 2);
}

TEST(DeviceTableGaps, MonitorKeepsEveryRecordNotCleared) {
    DeviceTable t;
    t.Append(Agent("a00000000000", "10.0.0.1", 0x0A000001));
    t.Append(Agent("b00000000000", "10.0.0.2", 0x0A000002));
    // An agent that switched to DHCP may report 0.0.0.0; it is still monitored.
    t.Append(Agent("c00000000000", "0.0.0.0", 0));
    t.Append(Agent("d00000000000", "10.0.0.4", 0x0A000004));
    ClearRecord(t.records[1]);

    CloseMonitorGaps(t);

    EXPECT_EQ(t.count(), 3);
    EXPECT_EQ(Macs(t), (std::vector<std::string>{"a00000000000", "c00000000000", "d00000000000"}));
    ExpectZeroFrom(t, 3);
}

TEST(DeviceTableGaps, FullAndEmptyTables) {
    DeviceTable full;
    for (int i = 0; i < kTableCapacity; ++i)
        ASSERT_TRUE(full.Append(Agent("m" + std::to_string(i), "ip" + std::to_string(i), 1u + i)));
    // One past the table is refused and changes nothing.
    EXPECT_FALSE(full.Append(Agent("extra", "ip-extra", 999)));
    EXPECT_EQ(full.count(), kTableCapacity);
    EXPECT_EQ(FieldText(full.records[255].mac_text), "m255");
    ClearRecord(full.records[255]);
    ClearRecord(full.records[0]);
    CloseMonitorGaps(full);
    EXPECT_EQ(full.count(), 254);
    EXPECT_EQ(FieldText(full.records[0].mac_text), "m1");
    EXPECT_EQ(FieldText(full.records[253].mac_text), "m254");
    ExpectZeroFrom(full, 254);

    DeviceTable all_gone;
    for (int i = 0; i < 3; ++i)
        all_gone.Append(ZeroRecord());
    CloseDiscoveryGaps(all_gone);
    EXPECT_EQ(all_gone.count(), 0);
}

TEST(DeviceTableGaps, RecordsPastCountAreNotBroughtBack) {
    // count() is the authority: a stray record beyond it is cleared, not adopted.
    DeviceTable t;
    t.Append(Agent("a00000000000", "10.0.0.1", 1));
    t.records[5] = Agent("f00000000000", "10.0.0.6", 6);
    CloseDiscoveryGaps(t);
    EXPECT_EQ(t.count(), 1);
    ExpectZeroFrom(t, 1);
}
