#pragma once
// SIGHUP: the monitor list becomes the one monitor.cfg holds now. An agent
// still listed keeps the record polling has built (its answers, missed polls,
// not-alive state); an agent is known by its address, as the list's
// duplicate check knows it.

#include "protocol/lists/DeviceTables.h"

#include <string>
#include <vector>

namespace kestrel::serve {

struct MonitorChange {
    std::vector<std::string> added;   // address texts, in the file's order
    std::vector<std::string> removed; // in the old list's order
};

MonitorChange ApplyMonitorList(DeviceTable& monitor, const DeviceTable& loaded);

} // namespace kestrel::serve
