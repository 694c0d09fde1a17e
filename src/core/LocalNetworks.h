#pragma once
// This computer's IPv4 addresses with their masks, as the system reports
// them now.

#include "protocol/UpgradeChecks.h"

#include <vector>

namespace kestrel {

// The addresses of every interface that is up, loopback included; empty
// when none can be read.
std::vector<LocalNetwork> ReadLocalNetworks();

} // namespace kestrel
