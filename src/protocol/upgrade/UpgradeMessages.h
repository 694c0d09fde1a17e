#pragma once
// The words of the firmware transfer: its boxes and the texts of the
// Upgrade State field.

#include "protocol/seams/Notifier.h"
#include "protocol/upgrade/TftpTransfer.h"
#include "protocol/upgrade/UpgradeOutcome.h"

#include <optional>

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel {

inline constexpr Message kCreateTftpSocketError{"Creat tftp socket error", kErrorCaption,
                                                MessageIcon::Error};
inline constexpr Message kBindTftpSocketError{"Bind tftps socket error", kErrorCaption,
                                              MessageIcon::Error};
inline constexpr Message kWriteRequestSendError{"Write request send error", kErrorCaption,
                                                MessageIcon::Error};
inline constexpr Message kOpenFirmwareFileError{"Open firmware file error", kErrorCaption,
                                                MessageIcon::Error};
inline constexpr Message kDataSendError{"Upgrade fail!!!!", kErrorCaption, MessageIcon::Error};
// The device's own error message, with the reboot hint for some devices.
inline constexpr Message kDeviceError{"", "upgrade fail", MessageIcon::Error};
// Block numbers are 16 bits: a larger image would wrap them and the device
// would write blocks over the start of its firmware.
inline constexpr Message kFirmwareTooLarge{
    "Firmware file too large: at most 65535 blocks of 512 bytes (33553919 bytes)", kErrorCaption,
    MessageIcon::Error};

// Before the dialog opens.
inline constexpr Message kUpgradeDuplicateIp{"Duplicate IP", kErrorCaption, MessageIcon::Error};
inline constexpr Message kNotSameSubnet{"The device IP and manager IP are not in the same subnet",
                                        kErrorCaption, MessageIcon::Error};
inline constexpr Message kLocalAddressesUnreadable{
    "Cannot read the IPv4 addresses and masks of this computer, so the device cannot be checked "
    "to be in one of its networks",
    kPlainCaption, MessageIcon::Warning};
// The dialog and its transfer are one per program: the transfer's port and
// state exist once.
inline constexpr Message kUpgradeAlreadyOpen{
    "A firmware upgrade is already open: finish or cancel it before starting another one",
    kPlainCaption, MessageIcon::Information};

// Start.
inline constexpr Message kFirmwareFileNotFound{"Firmware file not found", kErrorCaption,
                                               MessageIcon::Error};
inline constexpr Message kTriggerSendError{"Upgrade trigger send error", kErrorCaption,
                                           MessageIcon::Error};

inline constexpr std::string_view kRebootHint =
    "\nThe device will reboot, please wait for a few seconds";

inline constexpr std::string_view kStateWait = "Wait....";
inline constexpr std::string_view kStateTriggerFail = "Trigger fail";
inline constexpr std::string_view kStateDeviceNotFound = "Device not found";
// Written over the state when the device's error box is closed.
inline constexpr std::string_view kStateCleared = " ";

// "Upgrade...%ld/%ld bytes", "Complete...%ld/%ld bytes" and
// "Upgrade fail, translate %ld/%ld bytes" with the bytes sent and the file
// size.
std::string UpgradeProgressText(uint32_t sent, uint32_t file_size);
std::string UpgradeCompleteText(uint32_t sent, uint32_t file_size);
std::string TransferFailText(uint32_t sent, uint32_t file_size);

// Upgrade State for a block just sent: progress, or "Complete..." for the
// last one; nothing for the first block.
std::optional<std::string> UpgradeStateText(const TransferProgress& progress);
// Upgrade State once the upgrade has ended, where the end rewrites it.
std::optional<std::string> UpgradeStateText(const UpgradeEnd& end);
// The device error box's words: its message, and the hint where it applies.
std::string DeviceErrorBoxText(const UpgradeEnd& end);
// The event-log line of a failed transfer; nothing for other ends.
std::optional<std::string> UpgradeLogText(const UpgradeEnd& end);

} // namespace kestrel
