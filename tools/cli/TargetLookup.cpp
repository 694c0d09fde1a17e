#include "TargetLookup.h"

#include "ExitCodes.h"
#include "MacText.h"
#include "protocol/discovery/Discovery.h"
#include "protocol/lists/DeviceTables.h"
#include "protocol/polling/Polling.h"
#include "protocol/wire/Ipv4Text.h"

#include <cctype>
#include <cstdio>

namespace kestrel::cli {

namespace {

bool Matches(const DeviceRecord& r, const Target& target) {
    if (target.ip)
        return FieldText(r.ip_text) == FormatIpv4(*target.ip);
    return FieldText(r.mac_text) == target.mac_text;
}

// Where the agent is now: its list (monitor first, as the dispatcher
// stores a monitored agent there) and index. Only records that have
// answered count.
std::optional<ChosenAgent> Answered(const DeviceTables& tables, const Target& target) {
    const auto monitor = tables.monitor.InUse();
    for (std::size_t i = 0; i < monitor.size(); ++i)
        if (monitor[i].row_state == kRowKnown && Matches(monitor[i], target))
            return ChosenAgent{AgentList::Monitor, static_cast<int>(i)};
    const auto discovery = tables.discovery.InUse();
    for (std::size_t i = 0; i < discovery.size(); ++i)
        if (Matches(discovery[i], target))
            return ChosenAgent{AgentList::Discovery, static_cast<int>(i)};
    return std::nullopt;
}

} // namespace

std::optional<Target> ParseTarget(const std::string& text) {
    if (const auto ip = ParseIpv4(text))
        return Target{.ip = ip, .mac_text = {}};
    if (auto mac = MacDigits(text))
        return Target{.ip = std::nullopt, .mac_text = std::move(*mac)};
    return std::nullopt;
}

std::optional<Target> ReadTargetArgument(const std::string& text) {
    std::optional<Target> target = ParseTarget(text);
    if (!target)
        std::fprintf(stderr, "kestrel-cli: %s is no IP or MAC address\n", text.c_str());
    return target;
}

int SelectTarget(CliSession& session, const Target& target, SetCommandKind kind, int timeout_ms,
                 ChosenAgent& chosen) {
    DeviceTables& tables = session.tables();
    const ProtocolSettings& settings = session.settings();
    // A monitored agent is asked by unicast, so it is found also where
    // broadcast does not reach.
    bool polled = false;
    const auto monitor = tables.monitor.InUse();
    for (DeviceRecord& r : monitor) {
        if (!Matches(r, target))
            continue;
        r.row_state = kRowNew;
        const auto poll = PollRequest(settings);
        if (!session.network().sockets().SendDatagram(SocketKind::Unicast, poll, r.ip,
                                                      settings.AgentPort()))
            std::fprintf(stderr, "%s\n",
                         PollingErrorText(session.network().sockets().LastSendError()).c_str());
        polled = true;
        break;
    }
    if (!polled)
        session.network().Discover();
    std::optional<ChosenAgent> found;
    session.WaitUntil([&] { return (found = Answered(tables, target)).has_value(); }, timeout_ms);
    if (!found) {
        if (!session.signals().stopped())
            session.notifier().Say("No agent answered at " +
                                   (target.ip ? FormatIpv4(*target.ip) : target.mac_text));
        return kExitNotFound;
    }
    const ListSelection selection{.discovery_rows = found->in_monitor() ? 0 : 1,
                                  .monitor_rows = found->in_monitor() ? 1 : 0,
                                  .record_index = found->index};
    const std::optional<ChosenAgent> checked =
        ChooseAgent(tables, selection, kind, session.notifier());
    if (!checked)
        return kExitRefusedInput;
    chosen = *checked;
    return kExitOk;
}

} // namespace kestrel::cli
