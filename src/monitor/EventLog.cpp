#include "EventLog.h"

#include "MonitorMessages.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <system_error>

namespace kestrel {

namespace {

// One lock for the whole process: the GUI thread and the upgrade code both
// append, and the file itself is not locked against us.
std::mutex& LogMutex() {
    static std::mutex m;
    return m;
}

int Clamped(long long value, long long low, long long high) {
    return static_cast<int>(std::clamp(value, low, high));
}

enum class AppendResult { Ok, OpenFailed, WriteFailed };

AppendResult AppendLocked(const std::filesystem::path& log,
                          std::initializer_list<std::string_view> pieces) {
    std::error_code ec;
    const auto old_size = std::filesystem::file_size(log, ec);
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

} // namespace

std::filesystem::path EventLogPath(const std::filesystem::path& cfg_dir) {
    return cfg_dir / kEventLogName;
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

bool AppendEventLog(const std::filesystem::path& log,
                    std::initializer_list<std::string_view> pieces, Notifier& notifier) {
    AppendResult result;
    {
        const std::lock_guard lock(LogMutex());
        result = AppendLocked(log, pieces);
    }
    // The box is shown outside the lock: it runs an event loop that may log again.
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

bool AppendEventLog(const std::filesystem::path& log, std::string_view bytes, Notifier& notifier) {
    return AppendEventLog(log, {bytes}, notifier);
}

bool ClearEventLog(const std::filesystem::path& log) {
    const std::lock_guard lock(LogMutex());
    std::error_code ec;
    std::filesystem::remove(log, ec);
    std::FILE* f = std::fopen(log.c_str(), "ab");
    if (f == nullptr)
        return false;
    return std::fclose(f) == 0;
}

bool EventLog::LogNotAlive(std::string_view ip) {
    if (log_.empty())
        return true;
    return AppendEventLog(log_, NotAliveLine(FormatTimeStamp(clock_), ip), notifier_);
}

bool EventLog::LogNotAlive(std::string_view time_stamp, std::string_view ip) {
    if (log_.empty())
        return true;
    return AppendEventLog(log_, NotAliveLine(time_stamp, ip), notifier_);
}

bool EventLog::LogTrap(std::string_view ip, std::string_view event_text) {
    return LogTrapAt(TimeStamp(), ip, event_text);
}

bool EventLog::LogTrapAt(std::string_view time_stamp, std::string_view ip,
                         std::string_view event_text) {
    if (log_.empty())
        return true;
    return AppendEventLog(log_, TrapLine(time_stamp, ip, event_text), notifier_);
}

bool EventLog::LogUpgradeFailure(std::string_view ip, std::string_view failure_text) {
    if (log_.empty())
        return true;
    return AppendEventLog(log_, UpgradeFailureLine(FormatTimeStamp(clock_), ip, failure_text),
                          notifier_);
}

std::tm SystemClock::LocalNow() const {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

} // namespace kestrel
