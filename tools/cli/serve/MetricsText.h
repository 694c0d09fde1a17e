#pragma once
// The service's metrics in the Prometheus text exposition format 0.0.4.
// Plain functions over values, so the exact text can be checked.

#include "protocol/seams/Outcomes.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::serve {

inline constexpr std::string_view kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

inline constexpr std::size_t kDropReasons = 4;
inline constexpr std::size_t kSendKinds = 10;

// One monitored agent as it is at the scrape. Texts are the record's 8-bit
// texts, as agents send them.
struct AgentMetrics {
    std::string ip, mac, system_name, product;
    bool up = false;
    int polls_missed = 0;
    std::optional<double> seconds_since_answer; // none before its first answer
    std::uint64_t traps = 0;
    std::string version; // the "%d.%03x.%03d" text the window's lists show
    int interface_version = 0;
};

// What /proc tells of this process; cheap to read at each scrape.
struct ProcessMetrics {
    double start_time_seconds = 0; // since the epoch
    double cpu_seconds = 0;
    std::uint64_t resident_bytes = 0;
    std::uint64_t virtual_bytes = 0;
    int open_fds = 0;
};

struct ServiceMetrics {
    std::vector<AgentMetrics> agents; // in monitor-list order
    std::uint64_t discovery_answers = 0;
    std::array<std::uint64_t, kDropReasons> dropped{};   // by DropReason
    std::array<std::uint64_t, kSendKinds> send_errors{}; // by SendKind
    std::optional<ProcessMetrics> process;
};

// The label value of a Latin-1 text: as UTF-8, with backslash, double quote
// and line feed escaped.
std::string LabelValue(std::string_view latin1);
// The label words of the agent's text: "snake_case" names of the kinds.
std::string_view DropReasonName(DropReason reason);
std::string_view SendKindName(SendKind kind);

// The whole body of a scrape.
std::string FormatMetrics(const ServiceMetrics& metrics);

} // namespace kestrel::serve
