#include "protocol/upgrade/Rediscovery.h"

#include "protocol/discovery/Discovery.h"
#include "protocol/wire/PacketHeader.h"

#include <array>
#include <optional>

namespace kestrel {

Rediscovery::Rediscovery(const ProtocolSettings& settings, DeviceTable& discovery,
                         DatagramSender& sender, ListHooks& lists)
    : settings_(settings), discovery_(discovery), sender_(sender), lists_(lists) {}

int Rediscovery::Start(std::string target_mac) {
    target_mac_ = std::move(target_mac);
    answered_ = false;
    outcome_ = Outcome::Running;
    rebooting_ = true;
    passes_ = 0;
    return kRebootWaitMs;
}

int Rediscovery::Tick() {
    if (!running())
        return -1;
    if (rebooting_) {
        rebooting_ = false;
        if (!sender_.EnableBroadcast())
            return End(Outcome::BroadcastRefused);
        return SendPass();
    }
    // One second after a pass: did the upgraded device answer it?
    if (answered_)
        return End(Outcome::Succeeded);
    if (passes_ >= kMaxRediscoveryPasses)
        return End(Outcome::Failed);
    return SendPass();
}

int Rediscovery::SendPass() {
    ++passes_;
    ClearDiscovery(discovery_, lists_);
    answered_ = false;

    const ProtocolSettings& settings = settings_;
    std::array<uint8_t, kHeaderSize> request;
    BuildRequestHeader(request, CMD_DISCOVERY, settings.utility_id);
    const std::optional<uint32_t> group = MulticastGroupAddress(settings);
    const bool sent =
        sender_.SendDatagram(SocketKind::Broadcast, request, kLimitedBroadcast,
                             settings.AgentPort()) &&
        group && sender_.SendDatagram(SocketKind::Multicast, request, *group, settings.AgentPort());
    if (!sent)
        return End(Outcome::SendFailed);
    return kPassIntervalMs;
}

void Rediscovery::NoteDiscoveryReply(std::string_view mac_text) {
    if (running() && !target_mac_.empty() && mac_text == target_mac_)
        answered_ = true;
}

int Rediscovery::End(Outcome outcome) {
    outcome_ = outcome;
    rebooting_ = false;
    return -1;
}

} // namespace kestrel
