#include "EventLog.h"

#include "MonitorMessages.h"

#include <QAbstractEventDispatcher>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>

namespace kestrel {

namespace {

// One lock for the whole process: the GUI thread and the upgrade code both
// append, and the file itself is not locked against us.
std::mutex& LogMutex() {
    static std::mutex m;
    return m;
}

// How often each log was cleared, so that a run of repeats held for it is
// not counted on into the emptied file. Guarded by LogMutex.
std::map<std::filesystem::path, std::uint64_t>& ClearCounts() {
    static std::map<std::filesystem::path, std::uint64_t> counts;
    return counts;
}

std::uint64_t ClearsLocked(const std::filesystem::path& log) {
    const auto& counts = ClearCounts();
    const auto it = counts.find(log.lexically_normal());
    return it == counts.end() ? 0 : it->second;
}

int Clamped(long long value, long long low, long long high) {
    return static_cast<int>(std::clamp(value, low, high));
}

enum class AppendResult { Ok, OpenFailed, WriteFailed };

// Each older file one place up, the oldest replaced, the log itself to .1.
// Every step is one rename, so a file is always whole under one of its names;
// false (and the log left where it is) when a step fails.
bool RotateLocked(const std::filesystem::path& log, int generations) {
    std::error_code ec;
    for (int g = generations - 1; g >= 1; --g) {
        std::filesystem::rename(RotatedLogPath(log, g), RotatedLogPath(log, g + 1), ec);
        if (ec && ec != std::errc::no_such_file_or_directory)
            return false;
    }
    std::filesystem::rename(log, RotatedLogPath(log, 1), ec);
    return !ec;
}

AppendResult AppendLocked(const std::filesystem::path& log,
                          std::initializer_list<std::string_view> pieces,
                          const LogRotation& rotation) {
    std::error_code ec;
    auto old_size = std::filesystem::file_size(log, ec);
    std::uintmax_t adding = 0;
    for (std::string_view piece : pieces)
        adding += piece.size();
    // Only a regular file is rotated (file_size fails for anything else), and
    // never an empty one, so an over-long line still finds a file.
    if (!ec && old_size > 0 &&
        adding > rotation.max_bytes - std::min(old_size, rotation.max_bytes)) {
        if (!RotateLocked(log, std::max(rotation.generations, 1)))
            return AppendResult::WriteFailed;
        old_size = 0;
    }
    std::FILE* f = std::fopen(log.c_str(), "ab");
    if (f == nullptr)
        return AppendResult::OpenFailed;
    bool ok = true;
    for (std::string_view piece : pieces) {
        if (!piece.empty() && std::fwrite(piece.data(), 1, piece.size(), f) != piece.size()) {
            ok = false;
            break;
        }
    }
    if (std::fflush(f) != 0)
        ok = false;
    if (std::fclose(f) != 0)
        ok = false;
    if (!ok) {
        // Take back whatever part of the line reached the file.
        std::filesystem::resize_file(log, ec ? 0 : old_size, ec);
        return AppendResult::WriteFailed;
    }
    return AppendResult::Ok;
}

// Addresses and event texts come from agents. A line break would start a
// forged line, an escape sequence would rewrite what a terminal shows of the
// log: every control character (C0, DEL, C1) is written as \xHH instead.
// Printable bytes stay as they are.
void AppendVisible(std::string& line, std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || (byte >= 0x7F && byte < 0xA0)) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            line += escaped;
        } else {
            line += c;
        }
    }
}

bool Report(AppendResult result, Notifier& notifier) {
    switch (result) {
    case AppendResult::Ok:
        return true;
    case AppendResult::OpenFailed:
        notifier.Show(kLogOpenFail);
        return false;
    case AppendResult::WriteFailed:
        notifier.Show(kLogWriteFail);
        return false;
    }
    return false;
}

// syslog.log.N, N in digits only.
bool IsRotatedName(const std::string& name, const std::string& log_name) {
    if (name.size() <= log_name.size() + 1 || name.compare(0, log_name.size(), log_name) != 0 ||
        name[log_name.size()] != '.')
        return false;
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(log_name.size()) + 1, name.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

std::filesystem::path EventLogPath(const std::filesystem::path& cfg_dir) {
    return cfg_dir / kEventLogName;
}

std::filesystem::path RotatedLogPath(const std::filesystem::path& log, int generation) {
    std::filesystem::path rotated = log;
    rotated += "." + std::to_string(generation);
    return rotated;
}

std::string FormatTimeStamp(const std::tm& t) {
    // Out-of-range fields are held to their width so the stamp stays 19 characters.
    char buffer[kTimeStampLength + 1];
    std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d %02d:%02d:%02d",
                  Clamped(t.tm_mon + 1LL, 1, 12), Clamped(t.tm_mday, 0, 99),
                  Clamped(t.tm_year + 1900LL, 0, 9999), Clamped(t.tm_hour, 0, 99),
                  Clamped(t.tm_min, 0, 99), Clamped(t.tm_sec, 0, 99));
    return std::string(buffer, kTimeStampLength);
}

std::string FormatTimeStamp(const Clock& clock) {
    return FormatTimeStamp(clock.LocalNow());
}

std::string NotAliveLine(std::string_view time_stamp, std::string_view ip) {
    std::string line(time_stamp);
    line += ' ';
    AppendVisible(line, ip);
    line += " Not alive \r\n";
    return line;
}

std::string TrapLine(std::string_view time_stamp, std::string_view ip, std::string_view text) {
    std::string line(time_stamp);
    line += ' ';
    AppendVisible(line, ip);
    line += " Trap :";
    AppendVisible(line, text);
    line += "\r\n";
    return line;
}

std::string UpgradeFailureLine(std::string_view time_stamp, std::string_view ip,
                               std::string_view failure_text) {
    std::string line(time_stamp);
    line += ' ';
    AppendVisible(line, ip);
    line += ' ';
    AppendVisible(line, failure_text);
    line += " \r\n";
    return line;
}

std::string RepeatLine(std::string_view time_stamp, std::string_view ip, std::uint64_t repeats) {
    std::string line(time_stamp);
    line += ' ';
    AppendVisible(line, ip);
    line += " last message repeated " + std::to_string(repeats) + " times\r\n";
    return line;
}

bool AppendEventLog(const std::filesystem::path& log,
                    std::initializer_list<std::string_view> pieces, Notifier& notifier,
                    const LogRotation& rotation) {
    AppendResult result;
    {
        const std::lock_guard lock(LogMutex());
        result = AppendLocked(log, pieces, rotation);
    }
    // The box is shown outside the lock: it runs an event loop that may log again.
    return Report(result, notifier);
}

bool AppendEventLog(const std::filesystem::path& log, std::string_view bytes, Notifier& notifier,
                    const LogRotation& rotation) {
    return AppendEventLog(log, {bytes}, notifier, rotation);
}

bool ClearEventLog(const std::filesystem::path& log) {
    const std::lock_guard lock(LogMutex());
    ++ClearCounts()[log.lexically_normal()];
    bool ok = true;
    std::error_code ec;
    const std::filesystem::path folder = log.has_parent_path() ? log.parent_path() : ".";
    const std::string log_name = log.filename().string();
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (!IsRotatedName(it->path().filename().string(), log_name))
            continue;
        std::error_code removed;
        if (!std::filesystem::remove(it->path(), removed) && removed)
            ok = false;
    }
    std::filesystem::remove(log, ec);
    std::FILE* f = std::fopen(log.c_str(), "ab");
    if (f == nullptr)
        return false;
    return std::fclose(f) == 0 && ok;
}

EventLog::EventLog(std::filesystem::path log, const Clock& clock, Notifier& notifier,
                   LogRotation rotation)
    : log_(std::move(log)), clock_(clock), notifier_(notifier), rotation_(rotation) {
    flush_timer_.setSingleShot(true);
    flush_timer_.setInterval(1000);
    QObject::connect(&flush_timer_, &QTimer::timeout, &flush_timer_, [this] { FlushRepeats(); });
}

EventLog::~EventLog() {
    // Repeats still held are written now; the notifier outlives the log.
    std::string bytes;
    AppendResult result = AppendResult::Ok;
    {
        const std::lock_guard lock(LogMutex());
        bytes = EndRunLocked();
        if (!bytes.empty())
            result = AppendLocked(log_, {bytes}, rotation_);
    }
    Report(result, notifier_);
}

bool EventLog::LogNotAlive(std::string_view ip) {
    return Log(Kind::NotAlive, FormatTimeStamp(clock_), ip, {});
}

bool EventLog::LogNotAlive(std::string_view time_stamp, std::string_view ip) {
    return Log(Kind::NotAlive, time_stamp, ip, {});
}

bool EventLog::LogTrap(std::string_view ip, std::string_view event_text) {
    return LogTrapAt(TimeStamp(), ip, event_text);
}

bool EventLog::LogTrapAt(std::string_view time_stamp, std::string_view ip,
                         std::string_view event_text) {
    return Log(Kind::Trap, time_stamp, ip, event_text);
}

bool EventLog::LogUpgradeFailure(std::string_view ip, std::string_view failure_text) {
    return Log(Kind::UpgradeFailure, FormatTimeStamp(clock_), ip, failure_text);
}

bool EventLog::Log(Kind kind, std::string_view time_stamp, std::string_view ip,
                   std::string_view text) {
    if (log_.empty())
        return true;
    std::optional<AppendResult> written; // empty: counted as a repeat
    {
        const std::lock_guard lock(LogMutex());
        const std::uint64_t clears = ClearsLocked(log_);
        if (run_.active && run_.clears == clears && run_.kind == kind && run_.stamp == time_stamp &&
            run_.ip == ip && run_.text == text) {
            ++run_.repeats;
        } else {
            // The count of the run before, then this line, in one append.
            std::string line = EndRunLocked();
            switch (kind) {
            case Kind::NotAlive:
                line += NotAliveLine(time_stamp, ip);
                break;
            case Kind::Trap:
                line += TrapLine(time_stamp, ip, text);
                break;
            case Kind::UpgradeFailure:
                line += UpgradeFailureLine(time_stamp, ip, text);
                break;
            }
            written = AppendLocked(log_, {line}, rotation_);
            if (*written == AppendResult::Ok)
                run_ = Run{.active = true,
                           .kind = kind,
                           .stamp = std::string(time_stamp),
                           .ip = std::string(ip),
                           .text = std::string(text),
                           .repeats = 0,
                           .clears = clears};
        }
    }
    if (written)
        return Report(*written, notifier_);
    ArmTimer();
    return true;
}

std::string EventLog::EndRunLocked() {
    Run ended = std::move(run_);
    run_ = {};
    if (!ended.active || ended.repeats == 0 || ended.clears != ClearsLocked(log_))
        return {};
    if (ended.repeats > 1)
        return RepeatLine(ended.stamp, ended.ip, ended.repeats);
    // One repeat costs no more as itself than as a count of it.
    switch (ended.kind) {
    case Kind::NotAlive:
        return NotAliveLine(ended.stamp, ended.ip);
    case Kind::Trap:
        return TrapLine(ended.stamp, ended.ip, ended.text);
    case Kind::UpgradeFailure:
        return UpgradeFailureLine(ended.stamp, ended.ip, ended.text);
    }
    return {};
}

void EventLog::FlushRepeats() {
    AppendResult result = AppendResult::Ok;
    bool too_early = false;
    {
        const std::lock_guard lock(LogMutex());
        if (!run_.active || run_.repeats == 0 || run_.clears != ClearsLocked(log_))
            return;
        // A coarse timer may fire a little before the second is over.
        too_early = FormatTimeStamp(clock_) == run_.stamp;
        if (!too_early) {
            const std::string bytes = EndRunLocked();
            if (!bytes.empty())
                result = AppendLocked(log_, {bytes}, rotation_);
        }
    }
    if (too_early)
        ArmTimer();
    else
        Report(result, notifier_);
}

std::uint64_t EventLog::heldRepeats() const {
    const std::lock_guard lock(LogMutex());
    return run_.active && run_.clears == ClearsLocked(log_) ? run_.repeats : 0;
}

void EventLog::ArmTimer() {
    // Only on the log's own thread with an event loop; elsewhere the count
    // waits for the next line or the end of the log.
    if (flush_timer_.thread() != QThread::currentThread() ||
        QAbstractEventDispatcher::instance() == nullptr || flush_timer_.isActive())
        return;
    flush_timer_.start();
}

std::tm SystemClock::LocalNow() const {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

} // namespace kestrel
