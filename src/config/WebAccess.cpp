#include "config/WebAccess.h"

#include "config/ConfigMessages.h"
#include "protocol/set/SetMessages.h"
#include "protocol/wire/Ipv4Text.h"

namespace kestrel {

namespace {

WebAccessTarget Refuse(const Message& message) {
    return {.url = std::nullopt, .failure = message};
}

} // namespace

WebAccessTarget CheckWebAccess(const DeviceTable& monitor, const ListSelection& selection,
                               WebAccessTrigger trigger) {
    if (trigger == WebAccessTrigger::Button && selection.discovery_rows > 0)
        return Refuse(kWebOnlyMonitorList);
    if (selection.monitor_rows >= 2)
        return Refuse(kOnlyOneDevice);
    if (selection.monitor_rows == 0)
        return Refuse(kSelectOneMonitorDevice);
    if (!selection.record_index)
        return Refuse(kSelectedDeviceGone);
    const DeviceRecord& record = monitor.records[static_cast<std::size_t>(*selection.record_index)];
    if (record.agent_mode == AGENT_MODE_LOADER)
        return Refuse(kLoaderModeDiscovery);

    // The text comes from monitor.cfg as much as from the agent's address:
    // only a dotted address may become the host, never a user, path or
    // another host name.
    const std::string_view ip_text = FieldText(record.ip_text);
    if (!ParseIpv4(ip_text))
        return Refuse(kBrowserWebFail);
    const QUrl url(QStringLiteral("http://%1/").arg(QLatin1StringView(ip_text)), QUrl::StrictMode);
    if (!url.isValid())
        return Refuse(kBrowserWebFail);
    return {.url = url, .failure = std::nullopt};
}

} // namespace kestrel
