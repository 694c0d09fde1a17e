#include "protocol/upgrade/UpgradeChecks.h"

#include "protocol/files/FileBytes.h"
#include "protocol/set/SetMessages.h"
#include "protocol/upgrade/FirmwareImageSize.h"
#include "protocol/upgrade/UpgradeMessages.h"

#include <algorithm>
#include <filesystem>

namespace kestrel {

namespace {

constexpr std::size_t kMaxPasswordLength = 20;

} // namespace

std::optional<Message> CheckUpgradeTarget(const DeviceTables& tables, const ChosenAgent& chosen,
                                          std::span<const LocalNetwork> networks) {
    const DeviceRecord& agent = chosen.Record(tables);
    const DeviceTable& table = chosen.in_monitor() ? tables.monitor : tables.discovery;
    const auto holders = std::count_if(table.InUse().begin(), table.InUse().end(),
                                       [&](const DeviceRecord& r) { return r.ip == agent.ip; });
    if (holders >= 2)
        return kUpgradeDuplicateIp;
    if (networks.empty())
        return kLocalAddressesUnreadable;
    const bool shared = std::any_of(networks.begin(), networks.end(),
                                    [&](const LocalNetwork& n) { return n.Holds(agent.ip); });
    if (!shared)
        return kNotSameSubnet;
    return std::nullopt;
}

std::optional<Message> CheckUpgradeForm(std::string_view password,
                                        const std::string& firmware_path) {
    if (password.empty() || password.size() > kMaxPasswordLength)
        return kPasswordLength;
    const FileProbe file = ProbeFile(std::filesystem::path(firmware_path));
    if (file.status != ReadStatus::Ok)
        return kFirmwareFileNotFound;
    return CheckFirmwareImageSize(file.size);
}

} // namespace kestrel
