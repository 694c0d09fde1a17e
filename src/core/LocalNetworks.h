#pragma once
// This computer's IPv4 addresses with their masks and cards, as the system
// reports them now.

#include "protocol/wire/LocalNetwork.h"

#include <vector>

namespace kestrel {

// Every address of every card that is up, loopback included; empty when
// none can be read.
std::vector<LocalNetwork> ReadLocalNetworks();

} // namespace kestrel
