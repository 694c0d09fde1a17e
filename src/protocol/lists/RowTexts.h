#pragma once
// The cell texts of the discovery and monitor lists, made from a record.
// Plain C++: the lists turn them into widget items.

#include "protocol/wire/DeviceRecord.h"

#include <array>
#include <string>
#include <string_view>

namespace kestrel {

inline constexpr int kDiscoveryColumns = 11;
inline constexpr int kMonitorColumns = 12;

// The column titles of the two lists.
inline constexpr std::array<std::string_view, kDiscoveryColumns> kDiscoveryColumnTitles = {
    "MAC Address", "IP Address", "Protocol Version", "Product Name", "System Name",   "DHCP",
    "Location",    "Trap IP",    "Subnet Mask",      "Gateway",      "Group Interval"};
inline constexpr std::array<std::string_view, kMonitorColumns> kMonitorColumnTitles = {
    "S",    "IP Address", "MAC Address", "Protocol Version", "Product Name", "System Name",
    "DHCP", "Location",   "Trap IP",     "Subnet Mask",      "Gateway",      "Group Interval"};

// "%d.%03x.%03d" of protocol version, sub-version and interface version.
std::string VersionText(const DeviceRecord& record);

// Empty when not reported, "disable" for 0, "enable" otherwise.
std::string DhcpText(const DeviceRecord& record);

// Empty for -1, "disable" for 0, the decimal text otherwise. The decimal text
// is also stored in group_interval_text (cut to what the field holds).
std::string GroupIntervalText(DeviceRecord& record);

// Columns 0 to 10 of the discovery list.
std::array<std::string, kDiscoveryColumns> DiscoveryRowTexts(DeviceRecord& record);

// Columns 0 to 11 of the monitor list; column 0 holds the status image and
// has no text.
std::array<std::string, kMonitorColumns> MonitorRowTexts(DeviceRecord& record);

} // namespace kestrel
