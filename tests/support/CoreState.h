#pragma once
// The state a front end owns, gathered for tests: each part is handed on by
// itself, as the window hands it on.

#include "protocol/lists/DeviceTables.h"
#include "protocol/set/SetExchange.h"
#include "protocol/settings/ProtocolSettings.h"

struct CoreState {
    kestrel::ProtocolSettings settings;
    kestrel::SetExchange exchange;
    kestrel::DeviceTables tables;
};
