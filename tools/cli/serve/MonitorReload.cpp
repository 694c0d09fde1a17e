#include "MonitorReload.h"

#include <memory>

namespace kestrel::serve {

MonitorChange ApplyMonitorList(DeviceTable& monitor, const DeviceTable& loaded) {
    MonitorChange change;
    // Large (256 records): off the stack.
    auto next = std::make_unique<DeviceTable>();
    for (const DeviceRecord& r : loaded.InUse()) {
        const FindResult old = FindMonitorRecord(monitor, FieldText(r.ip_text), KeyKind::Ip);
        if (old.found) {
            next->Append(monitor.records[static_cast<std::size_t>(old.index)]);
        } else {
            next->Append(r);
            change.added.emplace_back(FieldText(r.ip_text));
        }
    }
    for (const DeviceRecord& r : monitor.InUse())
        if (!FindMonitorRecord(loaded, FieldText(r.ip_text), KeyKind::Ip).found)
            change.removed.emplace_back(FieldText(r.ip_text));
    monitor.Clear();
    for (const DeviceRecord& r : next->InUse())
        monitor.Append(r);
    return change;
}

} // namespace kestrel::serve
