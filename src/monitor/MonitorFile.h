#pragma once
// Monitor-list files (monitor.cfg and files saved under other names): raw
// 300-byte DeviceRecords one after another, in monitor-table order, with no
// header or trailer.

#include "protocol/lists/DeviceTables.h"
#include "protocol/seams/Notifier.h"
#include "protocol/seams/Seams.h"

#include <cstddef>
#include <filesystem>
#include <string_view>

namespace kestrel {

inline constexpr std::string_view kMonitorFileName = "monitor.cfg";
// A load never reads more than a full table.
inline constexpr std::size_t kMaxMonitorFileBytes = kTableCapacity * kRecordSize;

// monitor.cfg inside the cfg directory.
std::filesystem::path MonitorFilePath(const std::filesystem::path& cfg_dir);

// Start-up: replaces the monitor table with the records of the file and shows
// each through RefreshMonitorRow. A missing file leaves the list empty without
// a message; anything that is not a readable regular file, or a length that
// is not a whole number of records, shows "Config File Error" and leaves the
// list empty. False when the file could not be taken.
bool LoadMonitorAtStartUp(const std::filesystem::path& file, DeviceTable& monitor, ListHooks& hooks,
                          Notifier& notifier);

// "Monitor load": appends the file's agents that are not monitored yet, with
// a warning for each one skipped as a duplicate. Stops with a warning when the
// list is full; never writes past the last record of the table. False when
// the file could not be taken ("Config File Error").
bool AddMonitorFile(const std::filesystem::path& file, DeviceTable& monitor, ListHooks& hooks,
                    Notifier& notifier);

// "Monitor save" and "Monitor save as": writes records 0..count-1 in table
// order. The file is replaced whole or not at all; a failure is reported and
// leaves the old file as it was. True when saved.
bool SaveMonitorFile(const std::filesystem::path& file, const DeviceTable& monitor,
                     Notifier& notifier);

} // namespace kestrel
