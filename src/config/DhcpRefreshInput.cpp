#include "config/DhcpRefreshInput.h"

#include "protocol/set/DeviceSelection.h"

namespace kestrel {

DeviceRecord DhcpRefreshWorking(const ProgramState& state, std::string_view password) {
    DeviceRecord working = TargetRecord(state);
    SetFieldText(working.password, password);
    return working;
}

} // namespace kestrel
