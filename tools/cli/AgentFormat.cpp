#include "AgentFormat.h"

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

// Columns padded to their widest cell; the agents' texts are shown through
// TerminalText, so none of them can move the terminal's cursor.
std::string Aligned(std::span<const std::string_view> titles,
                    const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::vector<std::string>> shown;
    shown.emplace_back(titles.begin(), titles.end());
    for (const auto& row : rows) {
        auto& cells = shown.emplace_back();
        for (const std::string& cell : row)
            cells.push_back(TerminalText(cell));
    }
    std::vector<std::size_t> width(titles.size());
    for (std::size_t c = 0; c < titles.size(); ++c)
        for (const auto& row : shown)
            width[c] = std::max(width[c], TerminalWidth(row[c]));
    std::string out;
    for (const auto& row : shown) {
        std::string text;
        for (std::size_t c = 0; c < titles.size(); ++c) {
            text.append(row[c]);
            if (c + 1 < titles.size())
                text.append(width[c] - TerminalWidth(row[c]) + 2, ' ');
        }
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        out.append(text);
        out.push_back('\n');
    }
    return out;
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

std::string DiscoveryTable(std::span<const DeviceRecord> records) {
    std::vector<std::vector<std::string>> rows;
    for (DeviceRecord r : records) {
        const auto texts = DiscoveryRowTexts(r);
        rows.emplace_back(texts.begin(), texts.end());
    }
    return Aligned(kDiscoveryColumnTitles, rows);
}

std::string MonitorTable(std::span<const DeviceRecord> records) {
    std::vector<std::vector<std::string>> rows;
    for (DeviceRecord r : records) {
        auto texts = MonitorRowTexts(r);
        texts[0].assign(r.status_image == kImageNotAlive ? 1U : 0U, 'X');
        rows.emplace_back(texts.begin(), texts.end());
    }
    return Aligned(kMonitorColumnTitles, rows);
}

std::string JsonLine(const QJsonObject& object) {
    return JsonText(QJsonDocument(object), QJsonDocument::Compact);
}

} // namespace kestrel::cli
