#include "AgentFormat.h"

#include "Output.h"
#include "TerminalText.h"
#include "core/Latin1.h"
#include "protocol/lists/RowTexts.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <vector>

namespace kestrel::cli {

namespace {

QString Text(std::string_view text) {
    return Latin1(text);
}

} // namespace

QJsonObject AgentJson(const DeviceRecord& record) {
    DeviceRecord r = record; // the row texts write group_interval_text
    // The texts exactly as the discovery list's columns show them.
    const auto cells = DiscoveryRowTexts(r);
    static constexpr const char* kKeys[kDiscoveryColumns] = {
        "mac",      "ip",      "version",     "product_name", "system_name",   "dhcp",
        "location", "trap_ip", "subnet_mask", "gateway",      "group_interval"};
    QJsonObject object;
    for (int c = 0; c < kDiscoveryColumns; ++c)
        object.insert(QLatin1String(kKeys[c]), Text(cells[static_cast<std::size_t>(c)]));
    QJsonArray mask;
    for (const uint32_t word : r.field_mask)
        mask.append(static_cast<qint64>(word));
    object.insert(QStringLiteral("not_alive"), r.status_image == kImageNotAlive);
    object.insert(QStringLiteral("protocol_version"), r.protocol_version);
    object.insert(QStringLiteral("sub_version"), r.sub_version);
    object.insert(QStringLiteral("interface_version"), r.interface_version);
    object.insert(QStringLiteral("agent_mode"), r.agent_mode);
    object.insert(QStringLiteral("dhcp_state"), r.dhcp_state);
    object.insert(QStringLiteral("group_interval_seconds"), r.group_interval);
    object.insert(QStringLiteral("field_mask"), mask);
    return object;
}

std::vector<std::vector<std::string>> DiscoveryRows(std::span<const DeviceRecord> records) {
    std::vector<std::vector<std::string>> rows;
    for (DeviceRecord r : records) {
        const auto texts = DiscoveryRowTexts(r);
        rows.emplace_back(texts.begin(), texts.end());
    }
    return rows;
}

std::vector<std::vector<std::string>> MonitorRows(std::span<const DeviceRecord> records) {
    std::vector<std::vector<std::string>> rows;
    for (DeviceRecord r : records) {
        auto texts = MonitorRowTexts(r);
        texts[0].assign(r.status_image == kImageNotAlive ? 1U : 0U, 'X');
        rows.emplace_back(texts.begin(), texts.end());
    }
    return rows;
}

std::string DiscoveryTable(std::span<const DeviceRecord> records) {
    return AlignedTable(kDiscoveryColumnTitles, DiscoveryRows(records));
}

std::string MonitorTable(std::span<const DeviceRecord> records) {
    return AlignedTable(kMonitorColumnTitles, MonitorRows(records));
}

std::string JsonLine(const QJsonObject& object) {
    return JsonText(QJsonDocument(object), QJsonDocument::Compact);
}

} // namespace kestrel::cli
