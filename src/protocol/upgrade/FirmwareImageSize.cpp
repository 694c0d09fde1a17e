#include "protocol/upgrade/FirmwareImageSize.h"

#include "protocol/upgrade/UpgradeMessages.h"

namespace kestrel {

std::optional<Message> CheckFirmwareImageSize(uint64_t size) {
    if (size > kMaxFirmwareImageBytes)
        return kFirmwareTooLarge;
    return std::nullopt;
}

} // namespace kestrel
