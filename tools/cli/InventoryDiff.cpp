#include "InventoryDiff.h"

#include <cctype>

namespace kestrel::cli {

namespace {

// Compared in this order; mac identifies the agent.
constexpr const char* kCompared[] = {"ip",       "version",     "product_name", "system_name",
                                     "location", "subnet_mask", "gateway",      "trap_ip"};

std::string Value(const InventoryAgent& agent, const char* key) {
    const auto it = agent.values.find(key);
    return it == agent.values.end() ? std::string() : it->second;
}

// 12 lower-case hex digits whatever the separators and case.
std::string MacKey(const InventoryAgent& agent) {
    std::string digits;
    for (const char c : Value(agent, "mac"))
        if (std::isxdigit(static_cast<unsigned char>(c)))
            digits.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    return digits;
}

InventoryChange Change(InventoryChange::Kind kind, const InventoryAgent& agent) {
    return {kind, Value(agent, "mac"), Value(agent, "ip"), Value(agent, "system_name"), {}};
}

} // namespace

const char* ChangeWord(InventoryChange::Kind kind) {
    switch (kind) {
    case InventoryChange::Kind::New:
        return "new";
    case InventoryChange::Kind::Missing:
        return "missing";
    case InventoryChange::Kind::Changed:
        return "changed";
    }
    return "";
}

std::vector<InventoryChange> DiffInventory(const std::vector<InventoryAgent>& saved,
                                           const std::vector<InventoryAgent>& now) {
    std::vector<bool> matched(now.size(), false);
    std::vector<InventoryChange> changes;
    const auto find = [&](const auto& same) -> const InventoryAgent* {
        for (std::size_t i = 0; i < now.size(); ++i)
            if (!matched[i] && same(now[i])) {
                matched[i] = true;
                return &now[i];
            }
        return nullptr;
    };
    for (const InventoryAgent& old : saved) {
        const std::string mac = MacKey(old);
        const InventoryAgent* current =
            !mac.empty()
                ? find([&](const InventoryAgent& a) { return MacKey(a) == mac; })
                : find([&](const InventoryAgent& a) { return Value(a, "ip") == Value(old, "ip"); });
        if (!current) {
            changes.push_back(Change(InventoryChange::Kind::Missing, old));
            continue;
        }
        InventoryChange changed = Change(InventoryChange::Kind::Changed, *current);
        for (const char* key : kCompared) {
            const auto was = old.values.find(key);
            if (was == old.values.end())
                continue;
            const std::string is = Value(*current, key);
            if (was->second != is)
                changed.fields.push_back({key, was->second, is});
        }
        if (!changed.fields.empty())
            changes.push_back(std::move(changed));
    }
    for (std::size_t i = 0; i < now.size(); ++i)
        if (!matched[i])
            changes.push_back(Change(InventoryChange::Kind::New, now[i]));
    return changes;
}

} // namespace kestrel::cli
