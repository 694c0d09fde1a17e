#pragma once
// The event log syslog.log: one CR LF line per agent declared not alive,
// trap received or failed firmware transfer. The program only appends to it,
// and keeps it bounded: past a size the file is renamed syslog.log.1 (the
// older ones moving up to .2, .3, the oldest dropped) and a new one begun.
//
// Appends from any thread of the process are serialised by one lock, and a
// line is always written whole within one append, so lines never interleave
// and a failure never leaves half a line behind.

#include "protocol/seams/Notifier.h"
#include "protocol/seams/Seams.h"

#include <QTimer>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

namespace kestrel {

inline constexpr std::string_view kEventLogName = "syslog.log";
inline constexpr std::size_t kTimeStampLength = 19;

// How far the current file may grow and how many older files are kept.
// A single line longer than the limit is written whole, into a file of its own.
struct LogRotation {
    std::uintmax_t max_bytes = std::uintmax_t{16} * 1024 * 1024;
    int generations = 3; // syslog.log.1 (newest) to .3 (oldest); at least 1
};

// syslog.log inside the cfg directory.
std::filesystem::path EventLogPath(const std::filesystem::path& cfg_dir);
// An older file of the log: syslog.log.1, .2, ...
std::filesystem::path RotatedLogPath(const std::filesystem::path& log, int generation);

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
// Said after a line that came `repeats` more times within its second.
std::string RepeatLine(std::string_view time_stamp, std::string_view ip, std::uint64_t repeats);

// Appends the bytes to the log, creating it when missing, and starts a new
// file first when they would take the current one past the limit; false when
// the file cannot be opened ("syslog.log not exit"), written or its older
// files moved ("syslog.log write fail"), after its box. Nothing of a failed
// append stays in the file.
bool AppendEventLog(const std::filesystem::path& log, std::string_view bytes, Notifier& notifier,
                    const LogRotation& rotation = {});
// The pieces of one line, written together under one lock and one open.
bool AppendEventLog(const std::filesystem::path& log,
                    std::initializer_list<std::string_view> pieces, Notifier& notifier,
                    const LogRotation& rotation = {});

// Deletes the log and its older files (syslog.log.N, whatever N) and creates
// the log again empty; a run of repeats held for it is forgotten with the
// lines it repeats. Reports nothing; false when a file could not be removed
// or the empty one not created.
bool ClearEventLog(const std::filesystem::path& log);

// What the polling, trap and upgrade code use: the log of one cfg directory
// with its clock and its message boxes. An empty path is a log switched off
// (the command-line tool's --no-log): nothing is written, nothing fails.
//
// A flood is folded: a line identical to the one before it (same kind, same
// agent, same text) with the same time stamp is counted, not written. The
// count is written as a RepeatLine (a second copy of the line when it is 1)
// when the run ends: before the next other line, by a timer once the second
// is over, or when the log is destroyed. A line whose write failed starts no
// run, so a repeat of it is tried (and reported) again.
class EventLog {
public:
    EventLog(std::filesystem::path log, const Clock& clock, Notifier& notifier,
             LogRotation rotation = {});
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    const std::filesystem::path& Path() const { return log_; }
    const LogRotation& Rotation() const { return rotation_; }

    bool LogNotAlive(std::string_view ip);
    // With a stamp taken earlier: every line of one alive check has its time.
    bool LogNotAlive(std::string_view time_stamp, std::string_view ip);
    bool LogTrap(std::string_view ip, std::string_view event_text);
    // The same line with a time stamp taken before, for a caller that keeps it.
    bool LogTrapAt(std::string_view time_stamp, std::string_view ip, std::string_view event_text);
    std::string TimeStamp() const { return FormatTimeStamp(clock_); }
    bool LogUpgradeFailure(std::string_view ip, std::string_view failure_text);
    bool Clear() { return ClearEventLog(log_); }

    // Writes the count of the repeats held once the clock has left their
    // second; the timer's work, public so that tests need not wait for it.
    void FlushRepeats();
    // Repeats counted and not yet written.
    std::uint64_t heldRepeats() const;

private:
    enum class Kind { NotAlive, Trap, UpgradeFailure };
    // The last line written and the repeats of it counted since.
    struct Run {
        bool active = false;
        Kind kind = Kind::Trap;
        std::string stamp, ip, text;
        std::uint64_t repeats = 0;
        std::uint64_t clears = 0; // the log's clears when it began
    };

    bool Log(Kind kind, std::string_view time_stamp, std::string_view ip, std::string_view text);
    // The bytes that end the run: its count, or nothing. Called under the lock.
    std::string EndRunLocked();
    void ArmTimer();

    std::filesystem::path log_;
    const Clock& clock_;
    Notifier& notifier_;
    LogRotation rotation_;
    Run run_;
    QTimer flush_timer_;
};

// The workstation's local time.
class SystemClock : public Clock {
public:
    std::tm LocalNow() const override;
};

} // namespace kestrel
