#pragma once
// How a list shows record i of its table, decided once for the real lists
// and the test fakes alike. Rows are found by key text: the MAC text in the
// discovery list; the IP text, else the MAC text, in the monitor list.

#include "protocol/lists/DeviceTables.h"

#include <string>
#include <string_view>

namespace kestrel {

// The key texts that find a row: key (a MAC or IP text, as kind says)
// first, then the MAC text fallback when that is not empty.
struct RowKey {
    KeyKind kind = KeyKind::Mac;
    std::string key;
    std::string fallback;
};

struct RowUpdate {
    enum class Kind { Nothing, Insert, Rewrite };
    Kind kind = Kind::Nothing;
    // Insert: where the new row goes. Rewrite: where the row goes should it
    // be missing (a known record always has its row; show it rather than
    // lose it).
    int position = 0;
    RowKey row; // Rewrite: the row to rewrite
};

RowUpdate DiscoveryRowUpdate(const DeviceTable& table, int i);
RowUpdate MonitorRowUpdate(const DeviceTable& table, int i);

RowKey DiscoveryRowKey(std::string_view mac_text);
RowKey MonitorRowKey(std::string_view ip_text, std::string_view mac_text);

// The record a row shows: by MAC in the discovery table; by IP, else by MAC,
// in the monitor table (a row found through its MAC text shows the record
// under that MAC).
FindResult FindRecordOfRow(const DeviceTable& table, const RowKey& row);

// A discovery row's MAC text against an agent's: the first 12 characters.
bool SameDiscoveryMac(std::string_view row_text, std::string_view mac_text);

} // namespace kestrel
