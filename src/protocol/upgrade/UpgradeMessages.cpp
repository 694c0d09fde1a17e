#include "protocol/upgrade/UpgradeMessages.h"

#include <cstdio>

namespace kestrel {

namespace {

std::string Counted(const char* format, uint32_t sent, uint32_t file_size) {
    char text[64];
    std::snprintf(text, sizeof text, format, static_cast<long>(sent), static_cast<long>(file_size));
    return text;
}

} // namespace

std::string UpgradeProgressText(uint32_t sent, uint32_t file_size) {
    return Counted("Upgrade...%ld/%ld bytes", sent, file_size);
}

std::string UpgradeCompleteText(uint32_t sent, uint32_t file_size) {
    return Counted("Complete...%ld/%ld bytes", sent, file_size);
}

std::string TransferFailText(uint32_t sent, uint32_t file_size) {
    return Counted("Upgrade fail, translate %ld/%ld bytes", sent, file_size);
}

std::optional<std::string> UpgradeStateText(const TransferProgress& progress) {
    if (progress.last)
        return UpgradeCompleteText(progress.sent, progress.total);
    if (progress.block > 1)
        return UpgradeProgressText(progress.sent, progress.total);
    return std::nullopt;
}

std::optional<std::string> UpgradeStateText(const UpgradeEnd& end) {
    switch (end.kind) {
    case UpgradeEndKind::DeviceError:
        return std::string(kStateCleared);
    case UpgradeEndKind::DeviceNotFound:
        return std::string(kStateDeviceNotFound);
    case UpgradeEndKind::TransferFailed:
        return TransferFailText(end.sent, end.total);
    case UpgradeEndKind::TriggerNotAnswered:
    case UpgradeEndKind::TriggerRefused:
        return std::string(kStateTriggerFail);
    case UpgradeEndKind::LocalFailure:
        // The transfer could not open after the agent took the trigger.
        if (end.triggered)
            return std::string(kStateWait);
        break;
    case UpgradeEndKind::Completed:
    case UpgradeEndKind::Refused:
        break;
    }
    return std::nullopt;
}

std::string DeviceErrorBoxText(const UpgradeEnd& end) {
    return end.reboot_hint ? end.device_error + std::string(kRebootHint) : end.device_error;
}

std::optional<std::string> UpgradeLogText(const UpgradeEnd& end) {
    if (end.kind == UpgradeEndKind::DeviceError)
        return end.device_error;
    if (end.kind == UpgradeEndKind::TransferFailed)
        return TransferFailText(end.sent, end.total);
    return std::nullopt;
}

} // namespace kestrel
