#pragma once
// Records of agents as a discovery leaves them, for tests that fill the
// lists by hand: protocol version 2, interface version 3, no DHCP state, no
// group interval.

#include "protocol/wire/DeviceRecord.h"
#include "protocol/wire/Ipv4Text.h"

#include <cstdint>

namespace test_agents {

inline uint32_t Ip(const char* text) {
    return kestrel::ParseIpv4(text).value();
}

inline kestrel::DeviceRecord Agent(const char* mac, const char* ip, uint16_t mode = 0) {
    kestrel::DeviceRecord r = kestrel::ZeroRecord();
    kestrel::SetFieldText(r.mac_text, mac);
    kestrel::SetFieldText(r.ip_text, ip);
    r.ip = Ip(ip);
    r.protocol_version = 2;
    r.interface_version = 3;
    r.dhcp_state = kestrel::kDhcpNotReported;
    r.group_interval = -1;
    r.agent_mode = mode;
    r.row_state = kestrel::kRowNew;
    return r;
}

} // namespace test_agents
