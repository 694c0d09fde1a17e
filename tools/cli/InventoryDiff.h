#pragma once
// A saved inventory against the agents that answer now: agents new (not
// saved), missing (saved, silent now) and changed (the same MAC with
// another firmware version, name, location, product or address). Agents
// are matched by MAC; a saved agent without one (added by address, never
// answered) by IP.

#include "MonitorText.h"

#include <map>
#include <string>
#include <vector>

namespace kestrel::cli {

struct InventoryAgent {
    std::map<std::string, std::string> values; // MonitorTextFields(), 8-bit
};

struct FieldChange {
    std::string field, saved, now;
};

struct InventoryChange {
    enum class Kind { New, Missing, Changed } kind;
    std::string mac, ip;
    std::string system_name;
    std::vector<FieldChange> fields; // Changed
};

// Changes in the order: changed and missing agents in the saved order,
// then new agents in the order they answered. Only fields the saved form
// holds are compared.
std::vector<InventoryChange> DiffInventory(const std::vector<InventoryAgent>& saved,
                                           const std::vector<InventoryAgent>& now);

const char* ChangeWord(InventoryChange::Kind kind);

} // namespace kestrel::cli
