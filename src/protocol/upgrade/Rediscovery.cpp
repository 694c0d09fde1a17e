#include "protocol/upgrade/Rediscovery.h"

#include "protocol/discovery/Discovery.h"
#include "protocol/dispatch/ProtocolMessages.h"
#include "protocol/wire/PacketHeader.h"

#include <array>
#include <optional>

namespace kestrel {

Rediscovery::Rediscovery(ProgramState& state, DatagramSender& sender, ListHooks& lists,
                         Notifier& notifier)
    : state_(state), sender_(sender), lists_(lists), notifier_(notifier) {}

int Rediscovery::Start() {
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
            return End(Outcome::BroadcastRefused, kSetSocketOptError);
        return SendPass();
    }
    // One second after a pass: did the upgraded device answer it?
    if (state_.upgrade_rediscovered == 1)
        return End(Outcome::Succeeded, kUpgradeSuccessful);
    if (passes_ >= kMaxRediscoveryPasses)
        return End(Outcome::Failed, kUpgradeFail);
    return SendPass();
}

int Rediscovery::SendPass() {
    ++passes_;
    ClearDiscovery(state_, lists_);
    state_.upgrade_rediscovered = 0;

    const ProtocolSettings& settings = state_.settings;
    std::array<uint8_t, kHeaderSize> request;
    BuildRequestHeader(request, CMD_DISCOVERY, settings.utility_id);
    const std::optional<uint32_t> group = MulticastGroupAddress(settings);
    const bool sent =
        sender_.SendDatagram(SocketKind::Broadcast, request, kLimitedBroadcast,
                             settings.AgentPort()) &&
        group && sender_.SendDatagram(SocketKind::Multicast, request, *group, settings.AgentPort());
    if (!sent)
        return End(Outcome::SendFailed, kDiscoverySendFail);
    return kPassIntervalMs;
}

int Rediscovery::End(Outcome outcome, const Message& message) {
    // The outcome is settled before the box, which may run a nested event loop.
    outcome_ = outcome;
    rebooting_ = false;
    notifier_.Show(message);
    return -1;
}

} // namespace kestrel
