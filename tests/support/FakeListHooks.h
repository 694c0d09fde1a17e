#pragma once
// Mirrors the two tables into plain row lists the way the real lists do
// (insert for a new record, rewrite the row found by key text otherwise),
// logs every call, and notes any call that breaks the row/record contract.
// No test framework here, so the fuzz targets can use it too.

#include "protocol/ProgramState.h"
#include "protocol/Seams.h"

#include <string>
#include <vector>

class FakeListHooks : public kestrel::ListHooks {
public:
    struct Row {
        std::string ip_text;
        std::string mac_text;
        int status_image = -1;
    };

    explicit FakeListHooks(const kestrel::ProgramState& state) : state_(state) {}

    std::vector<Row> discovery_rows;
    std::vector<Row> monitor_rows;
    std::vector<std::string> calls;   // "remember", "discovery 3", "monitor 0", "restore", ...
    std::vector<std::string> faults;  // contract breaches, empty when all is well
    kestrel::SelectionMemo selection; // what RememberSelection reports
    std::vector<kestrel::SelectionMemo> restored; // every memo handed back

    void RefreshDiscoveryRow(int i) override {
        calls.push_back("discovery " + std::to_string(i));
        const kestrel::DeviceRecord* r = RecordInUse(state_.discovery, i, "discovery");
        if (!r)
            return;
        const Row row{std::string(kestrel::FieldText(r->ip_text)),
                      std::string(kestrel::FieldText(r->mac_text)), r->status_image};
        if (r->row_state == kestrel::kRowNew) {
            if (static_cast<std::size_t>(i) > discovery_rows.size())
                return Fault("discovery insert past the end at " + std::to_string(i));
            discovery_rows.insert(discovery_rows.begin() + i, row);
            return;
        }
        if (r->row_state != kestrel::kRowKnown)
            return;
        for (Row& existing : discovery_rows) {
            if (existing.mac_text == row.mac_text) {
                existing = row;
                return;
            }
        }
        Fault("discovery rewrite without a row for " + row.mac_text);
    }

    void RefreshMonitorRow(int i) override {
        calls.push_back("monitor " + std::to_string(i));
        const kestrel::DeviceRecord* r = RecordInUse(state_.monitor, i, "monitor");
        if (!r)
            return;
        const Row row{std::string(kestrel::FieldText(r->ip_text)),
                      std::string(kestrel::FieldText(r->mac_text)), r->status_image};
        if (r->row_state == kestrel::kRowNew) {
            if (static_cast<std::size_t>(i) > monitor_rows.size())
                return Fault("monitor insert past the end at " + std::to_string(i));
            monitor_rows.insert(monitor_rows.begin() + i, row);
            return;
        }
        for (Row& existing : monitor_rows) {
            if (existing.ip_text == row.ip_text) {
                existing = row;
                return;
            }
        }
        if (!row.mac_text.empty()) {
            for (Row& existing : monitor_rows) {
                if (existing.mac_text == row.mac_text) {
                    existing = row;
                    return;
                }
            }
        }
        Fault("monitor rewrite without a row for " + row.ip_text);
    }

    void ClearDiscoveryRows() override {
        calls.push_back("clear discovery");
        discovery_rows.clear();
    }

    kestrel::SelectionMemo RememberSelection() override {
        calls.push_back("remember");
        return selection;
    }

    void RestoreSelection(const kestrel::SelectionMemo& memo) override {
        calls.push_back("restore");
        restored.push_back(memo);
    }

private:
    const kestrel::DeviceRecord* RecordInUse(const kestrel::DeviceTable& table, int i,
                                             const std::string& list) {
        if (!table.InUse(i)) {
            Fault(list + " refresh of record " + std::to_string(i) + " not in use");
            return nullptr;
        }
        return &table.records[static_cast<std::size_t>(i)];
    }
    void Fault(std::string what) { faults.push_back(std::move(what)); }

    const kestrel::ProgramState& state_;
};
