#include "config/DhcpRefreshInput.h"

#include "protocol/set/DeviceSelection.h"

namespace kestrel {

DeviceRecord DhcpRefreshWorking(const DeviceRecord& agent, std::string_view password) {
    DeviceRecord working = agent;
    SetFieldText(working.password, password);
    return working;
}

} // namespace kestrel
