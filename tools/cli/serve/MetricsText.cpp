#include "MetricsText.h"

#include <cinttypes>
#include <cstdio>

namespace kestrel::serve {

namespace {

void AppendUtf8(std::string& out, unsigned char c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
        return;
    }
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
}

void Family(std::string& out, std::string_view name, std::string_view type, std::string_view help) {
    out.append("# HELP ").append(name).append(" ").append(help).append("\n");
    out.append("# TYPE ").append(name).append(" ").append(type).append("\n");
}

std::string Number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

std::string Number(std::uint64_t value) {
    return std::to_string(value);
}

void Sample(std::string& out, std::string_view name, std::string_view labels,
            const std::string& value) {
    out.append(name);
    if (!labels.empty())
        out.append("{").append(labels).append("}");
    out.append(" ").append(value).append("\n");
}

std::string AgentLabels(const AgentMetrics& a) {
    return "ip=\"" + LabelValue(a.ip) + "\",mac=\"" + LabelValue(a.mac) + "\",system_name=\"" +
           LabelValue(a.system_name) + "\",product=\"" + LabelValue(a.product) + "\"";
}

// One family with a sample per agent; value() gives none to leave one out.
template <typename Value>
void AgentFamily(std::string& out, const ServiceMetrics& m, const std::vector<std::string>& labels,
                 std::string_view name, std::string_view type, std::string_view help, Value value) {
    Family(out, name, type, help);
    for (std::size_t i = 0; i < m.agents.size(); ++i)
        if (const std::optional<std::string> v = value(m.agents[i]))
            Sample(out, name, labels[i], *v);
}

} // namespace

std::string LabelValue(std::string_view latin1) {
    std::string out;
    out.reserve(latin1.size());
    for (const char ch : latin1) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            AppendUtf8(out, c);
    }
    return out;
}

std::string_view DropReasonName(DropReason reason) {
    switch (reason) {
    case DropReason::Short:
        return "short";
    case DropReason::ForeignUtility:
        return "foreign_utility";
    case DropReason::SubVersion:
        return "sub_version";
    case DropReason::StaleSequence:
        return "stale_sequence";
    }
    return "unknown";
}

std::string_view SendKindName(SendKind kind) {
    switch (kind) {
    case SendKind::Poll:
        return "poll";
    case SendKind::Resend:
        return "resend";
    case SendKind::BroadcastOption:
        return "broadcast_option";
    case SendKind::Discovery:
        return "discovery";
    case SendKind::SetBroadcast:
        return "set_broadcast";
    case SendKind::SetUnicast:
        return "set_unicast";
    case SendKind::PasswordUnicast:
        return "password_unicast";
    case SendKind::UpgradeTrigger:
        return "upgrade_trigger";
    case SendKind::TftpWriteRequest:
        return "tftp_write_request";
    case SendKind::TftpData:
        return "tftp_data";
    }
    return "unknown";
}

std::string FormatMetrics(const ServiceMetrics& m) {
    std::string out;
    out.reserve(512 + m.agents.size() * 900);
    std::vector<std::string> labels;
    labels.reserve(m.agents.size());
    for (const AgentMetrics& a : m.agents)
        labels.push_back(AgentLabels(a));

    Family(out, "kestrel_monitored_agents", "gauge", "Agents in the monitor list.");
    Sample(out, "kestrel_monitored_agents", {}, Number(std::uint64_t{m.agents.size()}));
    AgentFamily(out, m, labels, "kestrel_agent_up", "gauge",
                "1 while the agent answers polls, 0 once declared not alive or before its "
                "first answer.",
                [](const AgentMetrics& a) { return std::optional<std::string>(a.up ? "1" : "0"); });
    AgentFamily(out, m, labels, "kestrel_agent_polls_missed", "gauge",
                "Polls the agent has left unanswered in a row.", [](const AgentMetrics& a) {
                    return std::optional<std::string>(std::to_string(a.polls_missed));
                });
    AgentFamily(out, m, labels, "kestrel_agent_last_answer_age_seconds", "gauge",
                "Seconds since the agent last answered; absent before its first answer.",
                [](const AgentMetrics& a) -> std::optional<std::string> {
                    if (!a.seconds_since_answer)
                        return std::nullopt;
                    return Number(*a.seconds_since_answer);
                });
    AgentFamily(out, m, labels, "kestrel_agent_traps_received_total", "counter",
                "Traps received from the agent since the service started.",
                [](const AgentMetrics& a) { return std::optional<std::string>(Number(a.traps)); });

    Family(out, "kestrel_agent_info", "gauge",
           "The agent's protocol version text and interface version; always 1.");
    for (const AgentMetrics& a : m.agents)
        Sample(out, "kestrel_agent_info",
               "ip=\"" + LabelValue(a.ip) + "\",mac=\"" + LabelValue(a.mac) + "\",version=\"" +
                   LabelValue(a.version) + "\",interface_version=\"" +
                   std::to_string(a.interface_version) + "\"",
               "1");

    Family(out, "kestrel_discovery_answers_total", "counter", "Discovery replies received.");
    Sample(out, "kestrel_discovery_answers_total", {}, Number(m.discovery_answers));

    Family(out, "kestrel_datagrams_dropped_total", "counter",
           "Received datagrams dropped by the header checks, by reason.");
    for (std::size_t i = 0; i < kDropReasons; ++i)
        Sample(out, "kestrel_datagrams_dropped_total",
               "reason=\"" + std::string(DropReasonName(static_cast<DropReason>(i))) + "\"",
               Number(m.dropped[i]));

    Family(out, "kestrel_send_errors_total", "counter",
           "Datagrams that could not be sent, by what they were.");
    for (std::size_t i = 0; i < kSendKinds; ++i)
        Sample(out, "kestrel_send_errors_total",
               "kind=\"" + std::string(SendKindName(static_cast<SendKind>(i))) + "\"",
               Number(m.send_errors[i]));

    if (const auto& p = m.process) {
        Family(out, "process_start_time_seconds", "gauge",
               "Start time of the process since unix epoch in seconds.");
        Sample(out, "process_start_time_seconds", {}, Number(p->start_time_seconds));
        Family(out, "process_cpu_seconds_total", "counter",
               "Total user and system CPU time spent in seconds.");
        Sample(out, "process_cpu_seconds_total", {}, Number(p->cpu_seconds));
        Family(out, "process_resident_memory_bytes", "gauge", "Resident memory size in bytes.");
        Sample(out, "process_resident_memory_bytes", {}, Number(p->resident_bytes));
        Family(out, "process_virtual_memory_bytes", "gauge", "Virtual memory size in bytes.");
        Sample(out, "process_virtual_memory_bytes", {}, Number(p->virtual_bytes));
        Family(out, "process_open_fds", "gauge", "Number of open file descriptors.");
        Sample(out, "process_open_fds", {}, Number(static_cast<std::uint64_t>(p->open_fds)));
    }
    return out;
}

} // namespace kestrel::serve
