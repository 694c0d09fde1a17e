#pragma once
// Agents as the command line shows them: an aligned table with the lists'
// own columns, or JSON with every field the lists show plus the raw
// versions, mode and field mask.

#include "protocol/wire/DeviceRecord.h"

#include <QJsonObject>

#include <span>
#include <string>
#include <vector>

namespace kestrel::cli {

QJsonObject AgentJson(const DeviceRecord& record);

// The lists' cells (8-bit texts), for Output::Table with the lists' titles
// (kDiscoveryColumnTitles, kMonitorColumnTitles).
std::vector<std::vector<std::string>> DiscoveryRows(std::span<const DeviceRecord> records);
// The monitor list's first column ("S") says "X" for a not-alive agent.
std::vector<std::vector<std::string>> MonitorRows(std::span<const DeviceRecord> records);

std::string DiscoveryTable(std::span<const DeviceRecord> records);
// The monitor list: its first column ("S") says "X" for a not-alive agent.
std::string MonitorTable(std::span<const DeviceRecord> records);

// A JSON document as one line of UTF-8 text (agents' texts are 8-bit), with
// every control character escaped.
std::string JsonLine(const QJsonObject& object);

} // namespace kestrel::cli
