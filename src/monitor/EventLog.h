#pragma once
// The event log syslog.log: one CR LF line per agent declared not alive,
// trap received or failed firmware transfer. The program only appends to it.
//
// Appends from any thread of the process are serialised by one lock, and a
// line is always written whole within one append, so lines never interleave
// and a failure never leaves half a line behind.

#include "protocol/seams/Notifier.h"
#include "protocol/seams/Seams.h"

#include <ctime>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

namespace kestrel {

inline constexpr std::string_view kEventLogName = "syslog.log";
inline constexpr std::size_t kTimeStampLength = 19;

// syslog.log inside the cfg directory.
std::filesystem::path EventLogPath(const std::filesystem::path& cfg_dir);

// "MM/DD/YYYY hh:mm:ss", month first, always 19 characters.
std::string FormatTimeStamp(const std::tm& t);
std::string FormatTimeStamp(const Clock& clock);

// The three kinds of line. The trap and failure lines are built from the
// same two pieces as ever (time stamp / rest of the line). Control characters
// inside the address or text are written as \xHH, so each event stays one
// line and a terminal showing the log shows it as it is.
std::string NotAliveLine(std::string_view time_stamp, std::string_view ip);
std::string TrapLine(std::string_view time_stamp, std::string_view ip, std::string_view text);
std::string UpgradeFailureLine(std::string_view time_stamp, std::string_view ip,
                               std::string_view failure_text);

// Appends the bytes to the log, creating it when missing; false when the
// file cannot be opened ("syslog.log not exit") or written, after its box.
// Nothing of a failed append stays in the file.
bool AppendEventLog(const std::filesystem::path& log, std::string_view bytes, Notifier& notifier);
// The pieces of one line, written together under one lock and one open.
bool AppendEventLog(const std::filesystem::path& log,
                    std::initializer_list<std::string_view> pieces, Notifier& notifier);

// Deletes the log and creates it again empty. Reports nothing; false when the
// empty file could not be created.
bool ClearEventLog(const std::filesystem::path& log);

// What the polling, trap and upgrade code use: the log of one cfg directory
// with its clock and its message boxes. An empty path is a log switched off
// (the command-line tool's --no-log): nothing is written, nothing fails.
class EventLog {
public:
    EventLog(std::filesystem::path log, const Clock& clock, Notifier& notifier)
        : log_(std::move(log)), clock_(clock), notifier_(notifier) {}

    const std::filesystem::path& Path() const { return log_; }

    bool LogNotAlive(std::string_view ip);
    // With a stamp taken earlier: every line of one alive check has its time.
    bool LogNotAlive(std::string_view time_stamp, std::string_view ip);
    bool LogTrap(std::string_view ip, std::string_view event_text);
    // The same line with a time stamp taken before, for a caller that keeps it.
    bool LogTrapAt(std::string_view time_stamp, std::string_view ip, std::string_view event_text);
    std::string TimeStamp() const { return FormatTimeStamp(clock_); }
    bool LogUpgradeFailure(std::string_view ip, std::string_view failure_text);
    bool Clear() { return ClearEventLog(log_); }

private:
    std::filesystem::path log_;
    const Clock& clock_;
    Notifier& notifier_;
};

// The workstation's local time.
class SystemClock : public Clock {
public:
    std::tm LocalNow() const override;
};

} // namespace kestrel
