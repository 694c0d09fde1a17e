#include "ProcessStats.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace kestrel::serve {

namespace {

std::optional<std::uint64_t> Unsigned(std::string_view word) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size())
        return std::nullopt;
    return value;
}

std::string ReadWhole(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

std::optional<ProcStat> ParseProcStat(std::string_view line) {
    const std::size_t close = line.rfind(')');
    if (close == std::string_view::npos)
        return std::nullopt;
    // Field 3 (the state) is the first word after the name.
    std::string_view rest = line.substr(close + 1);
    std::uint64_t fields[25] = {};
    int number = 2; // the name was field 2
    while (number < 24) {
        const std::size_t start = rest.find_first_not_of(" \n");
        if (start == std::string_view::npos)
            return std::nullopt;
        rest.remove_prefix(start);
        const std::size_t end = std::min(rest.find_first_of(" \n"), rest.size());
        ++number;
        if (number >= 14) {
            const auto value = Unsigned(rest.substr(0, end));
            if (!value)
                return std::nullopt;
            fields[number] = *value;
        }
        rest.remove_prefix(end);
    }
    return ProcStat{.user_ticks = fields[14],
                    .system_ticks = fields[15],
                    .start_ticks = fields[22],
                    .virtual_bytes = fields[23],
                    .resident_pages = fields[24]};
}

std::optional<std::uint64_t> ParseBootTime(std::string_view proc_stat) {
    std::size_t at = 0;
    while (at < proc_stat.size()) {
        const std::size_t end = std::min(proc_stat.find('\n', at), proc_stat.size());
        const std::string_view line = proc_stat.substr(at, end - at);
        if (line.starts_with("btime "))
            return Unsigned(line.substr(6));
        at = end + 1;
    }
    return std::nullopt;
}

ProcessMetrics Combine(const ProcStat& stat, std::uint64_t boot_time, long ticks_per_second,
                       long page_bytes, int open_fds) {
    const auto ticks = static_cast<double>(ticks_per_second);
    return {.start_time_seconds =
                static_cast<double>(boot_time) + static_cast<double>(stat.start_ticks) / ticks,
            .cpu_seconds = static_cast<double>(stat.user_ticks + stat.system_ticks) / ticks,
            .resident_bytes = stat.resident_pages * static_cast<std::uint64_t>(page_bytes),
            .virtual_bytes = stat.virtual_bytes,
            .open_fds = open_fds};
}

std::optional<ProcessMetrics> ReadProcessMetrics() {
    const auto stat = ParseProcStat(ReadWhole("/proc/self/stat"));
    const auto boot = ParseBootTime(ReadWhole("/proc/stat"));
    if (!stat || !boot)
        return std::nullopt;
    std::error_code error;
    int fds = 0;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        ++fds;
    return Combine(*stat, *boot, ::sysconf(_SC_CLK_TCK), ::sysconf(_SC_PAGESIZE), fds);
}

} // namespace kestrel::serve
