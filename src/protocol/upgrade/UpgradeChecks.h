#pragma once
// The checks before a firmware upgrade: of the chosen agent before the
// dialog opens, and of the dialog's form before the trigger is sent.

#include "protocol/seams/Notifier.h"
#include "protocol/set/DeviceSelection.h"
#include "protocol/wire/LocalNetwork.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kestrel {

// The chosen agent: its address held by no other entry of
// the list it was chosen in, then in a network of one of this computer's
// addresses (none read is said as such). The first refusal, or nothing.
std::optional<Message> CheckUpgradeTarget(const DeviceTables& tables, const ChosenAgent& chosen,
                                          std::span<const LocalNetwork> networks);

// Start's checks, in order: a password of 1 to 20 characters, then a
// firmware file that can be opened for reading and whose blocks fit 16-bit
// block numbers. The first refusal, or nothing.
std::optional<Message> CheckUpgradeForm(std::string_view password,
                                        const std::string& firmware_path);

} // namespace kestrel
