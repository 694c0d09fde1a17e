#pragma once
// Mirrors the two tables into plain row lists by the same row rule as the
// real lists (protocol/ListRows.h), logs every call, and notes any call that
// breaks the row/record contract. No test framework here, so the fuzz
// targets can use it too.

#include "protocol/lists/DeviceTables.h"
#include "protocol/lists/ListRows.h"
#include "protocol/seams/Seams.h"

#include <string>
#include <vector>

class FakeListHooks : public kestrel::ListHooks {
public:
    struct Row {
        std::string ip_text;
        std::string mac_text;
        int status_image = -1;
    };

    explicit FakeListHooks(const kestrel::DeviceTables& tables) : state_(tables) {}

    std::vector<Row> discovery_rows;
    std::vector<Row> monitor_rows;
    std::vector<std::string> calls;   // "remember", "discovery 3", "monitor 0", "restore", ...
    std::vector<std::string> faults;  // contract breaches, empty when all is well
    kestrel::SelectionMemo selection; // what RememberSelection reports
    std::vector<kestrel::SelectionMemo> restored; // every memo handed back

    void RefreshDiscoveryRow(int i) override {
        calls.push_back("discovery " + std::to_string(i));
        Refresh(kestrel::DiscoveryRowUpdate(state_.discovery, i), state_.discovery, i,
                discovery_rows, "discovery");
    }

    void RefreshMonitorRow(int i) override {
        calls.push_back("monitor " + std::to_string(i));
        Refresh(kestrel::MonitorRowUpdate(state_.monitor, i), state_.monitor, i, monitor_rows,
                "monitor");
    }

    void ClearDiscoveryRows() override {
        calls.push_back("clear discovery");
        discovery_rows.clear();
    }

    void RemoveDiscoveryRow(std::string_view mac_text) override {
        calls.push_back("remove discovery " + std::string(mac_text));
        for (auto row = discovery_rows.begin(); row != discovery_rows.end(); ++row) {
            if (kestrel::SameDiscoveryMac(row->mac_text, mac_text)) {
                discovery_rows.erase(row);
                return;
            }
        }
        Fault("discovery removal without a row for " + std::string(mac_text));
    }

    void RemoveMonitorRow(std::string_view ip_text, std::string_view mac_text) override {
        calls.push_back("remove monitor " + std::string(ip_text));
        if (Row* row = Find(monitor_rows, kestrel::MonitorRowKey(ip_text, mac_text))) {
            monitor_rows.erase(monitor_rows.begin() + (row - monitor_rows.data()));
            return;
        }
        Fault("monitor removal without a row for " + std::string(ip_text));
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
    static Row* Find(std::vector<Row>& rows, const kestrel::RowKey& key) {
        for (Row& row : rows)
            if ((key.kind == kestrel::KeyKind::Ip ? row.ip_text : row.mac_text) == key.key)
                return &row;
        if (!key.fallback.empty())
            for (Row& row : rows)
                if (row.mac_text == key.fallback)
                    return &row;
        return nullptr;
    }

    void Refresh(const kestrel::RowUpdate& update, const kestrel::DeviceTable& table, int i,
                 std::vector<Row>& rows, const std::string& list) {
        if (!table.InUse(i))
            return Fault(list + " refresh of record " + std::to_string(i) + " not in use");
        const kestrel::DeviceRecord& r = table.records[static_cast<std::size_t>(i)];
        const Row row{std::string(kestrel::FieldText(r.ip_text)),
                      std::string(kestrel::FieldText(r.mac_text)), r.status_image};
        switch (update.kind) {
        case kestrel::RowUpdate::Kind::Nothing:
            return;
        case kestrel::RowUpdate::Kind::Insert:
            if (static_cast<std::size_t>(update.position) > rows.size())
                return Fault(list + " insert past the end at " + std::to_string(update.position));
            rows.insert(rows.begin() + update.position, row);
            return;
        case kestrel::RowUpdate::Kind::Rewrite:
            if (Row* existing = Find(rows, update.row)) {
                *existing = row;
                return;
            }
            Fault(list + " rewrite without a row for " + update.row.key);
        }
    }

    void Fault(std::string what) { faults.push_back(std::move(what)); }

    const kestrel::DeviceTables& state_;
};
