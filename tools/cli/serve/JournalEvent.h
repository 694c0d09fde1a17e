#pragma once
// The service's events for the systemd journal: a readable MESSAGE, a
// PRIORITY and fields of our own (KESTREL_EVENT, KESTREL_AGENT_IP,
// KESTREL_AGENT_MAC, KESTREL_TRAP_TEXT). Outside systemd the same events are
// lines on standard error.

#include "protocol/seams/Outcomes.h"

#include <string>
#include <string_view>
#include <vector>

namespace kestrel::serve {

// syslog(3) levels, as the journal's PRIORITY.
enum class Priority { Error = 3, Warning = 4, Notice = 5, Info = 6 };

struct JournalEvent {
    Priority priority = Priority::Info;
    std::string
        event; // KESTREL_EVENT: lost, back, trap, status, set, trigger, send-failure, reload
    std::string message;   // UTF-8
    std::string ip, mac;   // the agent's, Latin-1 as in its record; empty when none
    std::string trap_text; // Latin-1, a trap's whole text
};

// The events, built from what the core reports; agents' texts stay as they
// came.
JournalEvent LostEvent(std::string_view ip, std::string_view mac);
JournalEvent BackEvent(std::string_view ip, std::string_view mac);
JournalEvent TrapReceivedEvent(std::string_view ip, std::string_view mac, std::string_view text);
JournalEvent StatusEvent(const StatusReply& reply, std::string_view ip_text,
                         std::string_view words);
JournalEvent SetConfirmedEvent(std::string_view ip, std::string_view mac);
JournalEvent TriggerEvent(std::string_view mac);
JournalEvent SendFailureEvent(std::string_view words);
JournalEvent ReloadEvent(const std::vector<std::string>& added,
                         const std::vector<std::string>& removed);

// The journal's fields, "NAME=value" each, values in UTF-8.
std::vector<std::string> JournalFields(const JournalEvent& event);
// The standard-error line, without its line feed: control characters shown
// as \xHH so one event is one line.
std::string StderrLine(const JournalEvent& event);

// Where the events go: the journal when this process runs under systemd with
// its journal (JOURNAL_STREAM set and the journal's socket there), else
// standard error.
class EventSink {
public:
    EventSink();
    bool toJournal() const { return journal_; }
    void Send(const JournalEvent& event) const;

private:
    bool journal_ = false;
};

} // namespace kestrel::serve
