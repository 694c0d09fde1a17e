#pragma once
// The values the shipped define.ecf carries, and the tool's defaults.

#include "protocol/settings/ProtocolSettings.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel {

inline constexpr uint32_t kDefaultUtilityId = 0x4B455354;
inline constexpr uint16_t kDefaultBasePort = 5010;
inline constexpr std::string_view kDefaultMulticastGroup = "239.255.255.250";
inline constexpr int kDefaultKeepAliveFlag = 0;
inline constexpr int kDefaultKeepAlivePeriod = 120;

inline ProtocolSettings DefaultSettings() {
    ProtocolSettings s;
    s.utility_id = kDefaultUtilityId;
    s.base_port = kDefaultBasePort;
    s.multicast_group = std::string(kDefaultMulticastGroup);
    s.multicast_timer_flag = kDefaultKeepAliveFlag;
    s.multicast_timer = kDefaultKeepAlivePeriod;
    return s;
}

} // namespace kestrel
