#include "protocol/set/TargetSend.h"

#include "protocol/discovery/Discovery.h"
#include "protocol/wire/TlvCodec.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace kestrel {

MacBytes TargetMac(const DeviceRecord& agent) {
    MacBytes mac{};
    if (const std::optional<std::vector<uint8_t>> bytes = ParseHexText(FieldText(agent.mac_text)))
        std::copy_n(bytes->begin(), std::min(bytes->size(), mac.size()), mac.begin());
    return mac;
}

bool SendToTarget(DatagramSender& sender, const ProtocolSettings& settings, bool in_monitor,
                  uint32_t ip, std::span<const uint8_t> datagram) {
    const uint16_t port = settings.AgentPort();
    if (in_monitor)
        return sender.SendDatagram(SocketKind::Unicast, datagram, ip, port);
    if (!sender.SendDatagram(SocketKind::Broadcast, datagram, kLimitedBroadcast, port))
        return false;
    const std::optional<uint32_t> group = MulticastGroupAddress(settings);
    return group && sender.SendDatagram(SocketKind::Multicast, datagram, *group, port);
}

} // namespace kestrel
