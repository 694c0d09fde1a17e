#pragma once
// The lists without widgets: the tables behind them are the truth, so most
// hooks have nothing to draw. A monitored agent's refresh is handed on, so
// `watch` can print its changes.

#include "protocol/seams/Seams.h"

#include <functional>

namespace kestrel::cli {

class CliLists : public ListHooks {
public:
    std::function<void(int)> on_monitor_row;

    void RefreshDiscoveryRow(int) override {}
    void RefreshMonitorRow(int i) override {
        if (on_monitor_row)
            on_monitor_row(i);
    }
    void ClearDiscoveryRows() override {}
    void RemoveDiscoveryRow(std::string_view) override {}
    void RemoveMonitorRow(std::string_view, std::string_view) override {}
    SelectionMemo RememberSelection() override { return {}; }
    void RestoreSelection(const SelectionMemo&) override {}
};

} // namespace kestrel::cli
