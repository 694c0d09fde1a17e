#include "protocol/upgrade/UpgradeTrigger.h"

#include "protocol/set/TargetSend.h"
#include "protocol/wire/PacketHeader.h"
#include "protocol/wire/TlvCodec.h"

#include <span>

namespace kestrel {

std::vector<uint8_t> BuildUpgradeTrigger(const ProtocolSettings& settings, uint16_t sequence,
                                         const DeviceRecord& agent, std::string_view password) {
    std::vector<uint8_t> datagram(kHeaderSize + 4 + password.size(), 0);
    BuildTargetedHeader(std::span<uint8_t, kHeaderSize>(datagram.data(), kHeaderSize),
                        {.command = CMD_UPGRADE_TRIGGER,
                         .mac = TargetMac(agent),
                         .utility_id = settings.utility_id,
                         .sequence = sequence});
    AppendPasswordField(std::span(datagram).subspan(kHeaderSize), password);
    return datagram;
}

} // namespace kestrel
