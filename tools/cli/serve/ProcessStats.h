#pragma once
// The process metrics, read from /proc at each scrape: a few small files.

#include "MetricsText.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrel::serve {

// The fields of /proc/self/stat the metrics need, in clock ticks and bytes.
struct ProcStat {
    std::uint64_t user_ticks = 0;
    std::uint64_t system_ticks = 0;
    std::uint64_t start_ticks = 0; // after boot
    std::uint64_t virtual_bytes = 0;
    std::uint64_t resident_pages = 0;
};

// Parses the one line of /proc/PID/stat; the program name in parentheses may
// hold spaces and parentheses itself. Empty when the line is cut short.
std::optional<ProcStat> ParseProcStat(std::string_view line);
// The "btime" line of /proc/stat: boot time in seconds since the epoch.
std::optional<std::uint64_t> ParseBootTime(std::string_view proc_stat);

ProcessMetrics Combine(const ProcStat& stat, std::uint64_t boot_time, long ticks_per_second,
                       long page_bytes, int open_fds);

// This process now; empty when /proc cannot be read.
std::optional<ProcessMetrics> ReadProcessMetrics();

} // namespace kestrel::serve
