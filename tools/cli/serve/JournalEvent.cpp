#include "JournalEvent.h"

#include <sys/uio.h>
#include <systemd/sd-journal.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace kestrel::serve {

namespace {

std::string Utf8(std::string_view latin1) {
    std::string out;
    out.reserve(latin1.size());
    for (const char ch : latin1) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// UTF-8 in, one line out: C0 controls and DEL as \xHH, C1 controls (two
// bytes in UTF-8) as \xHH of their Latin-1 byte.
std::string OneLine(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        unsigned shown = 0x100;
        if (c < 0x20 || c == 0x7F)
            shown = c;
        else if (c == 0xC2 && i + 1 < utf8.size() &&
                 static_cast<unsigned char>(utf8[i + 1]) < 0xA0) {
            shown = static_cast<unsigned char>(utf8[i + 1]);
            ++i;
        }
        if (shown == 0x100) {
            out += utf8[i];
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", shown);
            out += hex;
        }
    }
    return out;
}

const char* PriorityWord(Priority p) {
    switch (p) {
    case Priority::Error:
        return "error";
    case Priority::Warning:
        return "warning";
    case Priority::Notice:
        return "notice";
    case Priority::Info:
        return "info";
    }
    return "info";
}

JournalEvent AgentEvent(Priority p, const char* event, std::string message, std::string_view ip,
                        std::string_view mac) {
    return {.priority = p,
            .event = event,
            .message = std::move(message),
            .ip = std::string(ip),
            .mac = std::string(mac),
            .trap_text = {}};
}

std::string Joined(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& w : words)
        out += (out.empty() ? "" : ", ") + Utf8(w);
    return out;
}

} // namespace

JournalEvent LostEvent(std::string_view ip, std::string_view mac) {
    return AgentEvent(Priority::Warning, "lost", "Agent " + Utf8(ip) + " is not alive", ip, mac);
}

JournalEvent BackEvent(std::string_view ip, std::string_view mac) {
    return AgentEvent(Priority::Notice, "back", "Agent " + Utf8(ip) + " answers again", ip, mac);
}

JournalEvent TrapReceivedEvent(std::string_view ip, std::string_view mac, std::string_view text) {
    JournalEvent e =
        AgentEvent(Priority::Notice, "trap", "Trap from " + Utf8(ip) + ": " + Utf8(text), ip, mac);
    e.trap_text = std::string(text);
    return e;
}

JournalEvent StatusEvent(const StatusReply& reply, std::string_view ip_text,
                         std::string_view words) {
    return AgentEvent(Priority::Error, "status",
                      "Agent " + Utf8(ip_text) + " answered command " +
                          std::to_string(reply.command) + " with status " +
                          std::to_string(reply.status) + ": " + Utf8(words),
                      ip_text, reply.mac_text);
}

JournalEvent SetConfirmedEvent(std::string_view ip, std::string_view mac) {
    return AgentEvent(Priority::Info, "set", "Agent " + Utf8(ip) + " confirmed a set request", ip,
                      mac);
}

JournalEvent TriggerEvent(std::string_view mac) {
    return AgentEvent(Priority::Info, "trigger",
                      "Agent " + Utf8(mac) + " accepted the upgrade trigger", {}, mac);
}

JournalEvent SendFailureEvent(std::string_view words) {
    return {.priority = Priority::Error,
            .event = "send-failure",
            .message = Utf8(words),
            .ip = {},
            .mac = {},
            .trap_text = {}};
}

JournalEvent ReloadEvent(const std::vector<std::string>& added,
                         const std::vector<std::string>& removed) {
    std::string message = "monitor.cfg reloaded: ";
    if (added.empty() && removed.empty())
        message += "no change";
    if (!added.empty())
        message += std::to_string(added.size()) + " added (" + Joined(added) + ")";
    if (!removed.empty())
        message += std::string(added.empty() ? "" : ", ") + std::to_string(removed.size()) +
                   " removed (" + Joined(removed) + ")";
    return {.priority = Priority::Notice,
            .event = "reload",
            .message = std::move(message),
            .ip = {},
            .mac = {},
            .trap_text = {}};
}

std::vector<std::string> JournalFields(const JournalEvent& e) {
    std::vector<std::string> fields{
        "MESSAGE=" + e.message,
        "PRIORITY=" + std::to_string(static_cast<int>(e.priority)),
        "SYSLOG_IDENTIFIER=kestrel-cli",
        "KESTREL_EVENT=" + e.event,
    };
    if (!e.ip.empty())
        fields.push_back("KESTREL_AGENT_IP=" + Utf8(e.ip));
    if (!e.mac.empty())
        fields.push_back("KESTREL_AGENT_MAC=" + Utf8(e.mac));
    if (e.event == "trap")
        fields.push_back("KESTREL_TRAP_TEXT=" + Utf8(e.trap_text));
    return fields;
}

std::string StderrLine(const JournalEvent& e) {
    std::string line =
        std::string(PriorityWord(e.priority)) + ": " + OneLine(e.message) + " (event=" + e.event;
    if (!e.ip.empty())
        line += " ip=" + OneLine(Utf8(e.ip));
    if (!e.mac.empty())
        line += " mac=" + OneLine(Utf8(e.mac));
    return line + ")";
}

EventSink::EventSink() {
    std::error_code error;
    journal_ = std::getenv("JOURNAL_STREAM") != nullptr &&
               std::filesystem::exists("/run/systemd/journal/socket", error);
}

void EventSink::Send(const JournalEvent& event) const {
    if (journal_) {
        const std::vector<std::string> fields = JournalFields(event);
        std::vector<iovec> parts;
        parts.reserve(fields.size());
        for (const std::string& f : fields)
            parts.push_back({const_cast<char*>(f.data()), f.size()});
        // Binary-safe, unlike sd_journal_send's format strings: a trap's
        // text may hold anything.
        if (sd_journal_sendv(parts.data(), static_cast<int>(parts.size())) >= 0)
            return;
    }
    std::fprintf(stderr, "%s\n", StderrLine(event).c_str());
    std::fflush(stderr);
}

} // namespace kestrel::serve
