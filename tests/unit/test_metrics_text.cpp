// The service's exposition text, against literal expected text.

#include "MetricsText.h"
#include "ProcessStats.h"
#include "ServiceTally.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kestrel::serve {
namespace {

TEST(MetricsLabelValue, EscapesAndConvertsLatin1ToUtf8) {
    struct Case {
        const char* name;
        std::string latin1;
        std::string expected;
    };
    const Case cases[] = {
        {"plain", "north-7", "north-7"},
        {"backslash", "a\\b", "a\\\\b"},
        {"double quote", "say \"hi\"", "say \\\"hi\\\""},
        {"line feed", "one\ntwo", "one\\ntwo"},
        {"Latin-1 letters",
         "Gr\xFC\xDF"
         "e",
         "Gr\xC3\xBC\xC3\x9F"
         "e"},
        {"C1 control and NBSP", "\x85\xA0", "\xC2\x85\xC2\xA0"},
        {"carriage return and tab left as they are", "a\r\tb", "a\r\tb"},
        {"empty", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LabelValue(c.latin1), c.expected);
    }
}

ServiceMetrics OneAgent() {
    ServiceMetrics m;
    m.agents.push_back({.ip = "198.18.1.2",
                        .mac = "020000000002",
                        .system_name = "K\xF6ln \"core\"",
                        .product = "KS-8\\x",
                        .up = true,
                        .polls_missed = 0,
                        .seconds_since_answer = 1.25,
                        .traps = 3,
                        .version = "2.001.003",
                        .interface_version = 3});
    m.agents.push_back({.ip = "198.18.1.3",
                        .mac = "",
                        .system_name = "",
                        .product = "",
                        .up = false,
                        .polls_missed = 4,
                        .seconds_since_answer = std::nullopt,
                        .traps = 0,
                        .version = "0.000.000",
                        .interface_version = 0});
    m.discovery_answers = 7;
    m.dropped = {1, 2, 3, 4};
    m.send_errors[static_cast<std::size_t>(SendKind::Poll)] = 5;
    m.send_errors[static_cast<std::size_t>(SendKind::TftpData)] = 6;
    return m;
}

TEST(MetricsText, WholeScrapeIsTheExpectedText) {
    const std::string expected =
        "# HELP kestrel_monitored_agents Agents in the monitor list.\n"
        "# TYPE kestrel_monitored_agents gauge\n"
        "kestrel_monitored_agents 2\n"
        "# HELP kestrel_agent_up 1 while the agent answers polls, 0 once declared not alive or "
        "before its first answer.\n"
        "# TYPE kestrel_agent_up gauge\n"
        "kestrel_agent_up{ip=\"198.18.1.2\",mac=\"020000000002\",system_name=\"K\xC3\xB6ln "
        "\\\"core\\\"\",product=\"KS-8\\\\x\"} 1\n"
        "kestrel_agent_up{ip=\"198.18.1.3\",mac=\"\",system_name=\"\",product=\"\"} 0\n"
        "# HELP kestrel_agent_polls_missed Polls the agent has left unanswered in a row.\n"
        "# TYPE kestrel_agent_polls_missed gauge\n"
        "kestrel_agent_polls_missed{ip=\"198.18.1.2\",mac=\"020000000002\",system_name="
        "\"K\xC3\xB6ln "
        "\\\"core\\\"\",product=\"KS-8\\\\x\"} 0\n"
        "kestrel_agent_polls_missed{ip=\"198.18.1.3\",mac=\"\",system_name=\"\",product=\"\"} 4\n"
        "# HELP kestrel_agent_last_answer_age_seconds Seconds since the agent last answered; "
        "absent before its first answer.\n"
        "# TYPE kestrel_agent_last_answer_age_seconds gauge\n"
        "kestrel_agent_last_answer_age_seconds{ip=\"198.18.1.2\",mac=\"020000000002\",system_name="
        "\"K\xC3\xB6ln \\\"core\\\"\",product=\"KS-8\\\\x\"} 1.250\n"
        "# HELP kestrel_agent_traps_received_total Traps received from the agent since the "
        "service started.\n"
        "# TYPE kestrel_agent_traps_received_total counter\n"
        "kestrel_agent_traps_received_total{ip=\"198.18.1.2\",mac=\"020000000002\",system_name="
        "\"K\xC3\xB6ln \\\"core\\\"\",product=\"KS-8\\\\x\"} 3\n"
        "kestrel_agent_traps_received_total{ip=\"198.18.1.3\",mac=\"\",system_name=\"\",product="
        "\"\"} 0\n"
        "# HELP kestrel_agent_info The agent's protocol version text and interface version; "
        "always 1.\n"
        "# TYPE kestrel_agent_info gauge\n"
        "kestrel_agent_info{ip=\"198.18.1.2\",mac=\"020000000002\",version=\"2.001.003\","
        "interface_version=\"3\"} 1\n"
        "kestrel_agent_info{ip=\"198.18.1.3\",mac=\"\",version=\"0.000.000\",interface_version="
        "\"0\"} 1\n"
        "# HELP kestrel_discovery_answers_total Discovery replies received.\n"
        "# TYPE kestrel_discovery_answers_total counter\n"
        "kestrel_discovery_answers_total 7\n"
        "# HELP kestrel_datagrams_dropped_total Received datagrams dropped by the header checks, "
        "by reason.\n"
        "# TYPE kestrel_datagrams_dropped_total counter\n"
        "kestrel_datagrams_dropped_total{reason=\"short\"} 1\n"
        "kestrel_datagrams_dropped_total{reason=\"foreign_utility\"} 2\n"
        "kestrel_datagrams_dropped_total{reason=\"sub_version\"} 3\n"
        "kestrel_datagrams_dropped_total{reason=\"stale_sequence\"} 4\n"
        "# HELP kestrel_send_errors_total Datagrams that could not be sent, by what they were.\n"
        "# TYPE kestrel_send_errors_total counter\n"
        "kestrel_send_errors_total{kind=\"poll\"} 5\n"
        "kestrel_send_errors_total{kind=\"resend\"} 0\n"
        "kestrel_send_errors_total{kind=\"broadcast_option\"} 0\n"
        "kestrel_send_errors_total{kind=\"discovery\"} 0\n"
        "kestrel_send_errors_total{kind=\"set_broadcast\"} 0\n"
        "kestrel_send_errors_total{kind=\"set_unicast\"} 0\n"
        "kestrel_send_errors_total{kind=\"password_unicast\"} 0\n"
        "kestrel_send_errors_total{kind=\"upgrade_trigger\"} 0\n"
        "kestrel_send_errors_total{kind=\"tftp_write_request\"} 0\n"
        "kestrel_send_errors_total{kind=\"tftp_data\"} 6\n";
    EXPECT_EQ(FormatMetrics(OneAgent()), expected);
}

TEST(MetricsText, ProcessMetricsFollowWhenRead) {
    ServiceMetrics m;
    m.process = ProcessMetrics{.start_time_seconds = 1700000000.5,
                               .cpu_seconds = 0.25,
                               .resident_bytes = 4096,
                               .virtual_bytes = 8192,
                               .open_fds = 9};
    const std::string text = FormatMetrics(m);
    const std::string tail = "# HELP process_start_time_seconds Start time of the process since "
                             "unix epoch in seconds.\n"
                             "# TYPE process_start_time_seconds gauge\n"
                             "process_start_time_seconds 1700000000.500\n"
                             "# HELP process_cpu_seconds_total Total user and system CPU time "
                             "spent in seconds.\n"
                             "# TYPE process_cpu_seconds_total counter\n"
                             "process_cpu_seconds_total 0.250\n"
                             "# HELP process_resident_memory_bytes Resident memory size in bytes.\n"
                             "# TYPE process_resident_memory_bytes gauge\n"
                             "process_resident_memory_bytes 4096\n"
                             "# HELP process_virtual_memory_bytes Virtual memory size in bytes.\n"
                             "# TYPE process_virtual_memory_bytes gauge\n"
                             "process_virtual_memory_bytes 8192\n"
                             "# HELP process_open_fds Number of open file descriptors.\n"
                             "# TYPE process_open_fds gauge\n"
                             "process_open_fds 9\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    // No agents: the agent families have their HELP and TYPE and no sample.
    EXPECT_NE(text.find("# TYPE kestrel_agent_up gauge\n# HELP kestrel_agent_polls_missed"),
              std::string::npos);
}

TEST(ProcStatParse, ReadsTheFieldsAfterTheProgramName) {
    // A name with spaces and parentheses, as a program may choose.
    const std::string line = "4242 (kes (trel) cli) S 1 4242 4242 0 -1 4194560 1071 0 0 0 "
                             "150 25 0 0 20 0 3 0 987654 223985664 3380 18446744073709551615 1 1 "
                             "0 0 0 0 0 4096 0 0 0 0 17 1 0 0 0 0 0\n";
    const auto stat = ParseProcStat(line);
    ASSERT_TRUE(stat.has_value());
    EXPECT_EQ(stat->user_ticks, 150u);
    EXPECT_EQ(stat->system_ticks, 25u);
    EXPECT_EQ(stat->start_ticks, 987654u);
    EXPECT_EQ(stat->virtual_bytes, 223985664u);
    EXPECT_EQ(stat->resident_pages, 3380u);
    const ProcessMetrics p = Combine(*stat, 1700000000, 100, 4096, 7);
    EXPECT_DOUBLE_EQ(p.start_time_seconds, 1700000000 + 9876.54);
    EXPECT_DOUBLE_EQ(p.cpu_seconds, 1.75);
    EXPECT_EQ(p.resident_bytes, 3380u * 4096u);
    EXPECT_EQ(p.open_fds, 7);

    for (const char* cut : {"", "12 (x", "12 (x) S 1 2 3 4 5 6 7 8 9 10 11 12",
                            "12 (x) S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 x 20 21"}) {
        SCOPED_TRACE(cut);
        EXPECT_FALSE(ParseProcStat(cut).has_value());
    }
    EXPECT_EQ(ParseBootTime("cpu  1 2 3\nintr 5\nbtime 1699999999\nprocesses 9\n"),
              std::optional<std::uint64_t>(1699999999));
    EXPECT_FALSE(ParseBootTime("cpu 1\n").has_value());
}

DeviceRecord Monitored(const char* ip, const char* mac, int missed) {
    DeviceRecord r = ZeroRecord();
    SetFieldText(r.ip_text, ip);
    SetFieldText(r.mac_text, mac);
    SetFieldText(r.system_name, "sw");
    r.protocol_version = 2;
    r.sub_version = 1;
    r.interface_version = 3;
    r.missed_polls = missed;
    return r;
}

TEST(ServiceTally, UpOnlyAfterAnAnswerAndDownOnceLost) {
    DeviceTable monitor;
    monitor.Append(Monitored("198.18.1.2", "020000000002", 0));
    monitor.Append(Monitored("198.18.1.3", "020000000003", 3));
    ServiceTally tally;
    const auto t0 = ServiceTally::Clock::now();

    ServiceMetrics m = tally.Snapshot(monitor, t0);
    ASSERT_EQ(m.agents.size(), 2u);
    EXPECT_FALSE(m.agents[0].up) << "not up before its first answer";
    EXPECT_FALSE(m.agents[0].seconds_since_answer.has_value());

    EXPECT_FALSE(tally.Answered("198.18.1.2", t0)) << "a first answer is not a return";
    tally.Trap("198.18.1.2");
    tally.Trap("198.18.1.2");
    EXPECT_TRUE(tally.Lost("198.18.1.3"));
    EXPECT_FALSE(tally.Lost("198.18.1.3")) << "declared again on every tick: said once";
    m = tally.Snapshot(monitor, t0 + std::chrono::milliseconds(2500));
    EXPECT_TRUE(m.agents[0].up);
    EXPECT_DOUBLE_EQ(*m.agents[0].seconds_since_answer, 2.5);
    EXPECT_EQ(m.agents[0].traps, 2u);
    EXPECT_EQ(m.agents[0].version, "2.001.003");
    EXPECT_FALSE(m.agents[1].up);
    EXPECT_EQ(m.agents[1].polls_missed, 3);

    EXPECT_TRUE(tally.Answered("198.18.1.3", t0)) << "lost, then an answer: back";
    EXPECT_TRUE(tally.Snapshot(monitor, t0).agents[1].up);

    // A second record claiming an address already listed gives no second series.
    monitor.Append(Monitored("198.18.1.2", "020000000009", 0));
    EXPECT_EQ(tally.Snapshot(monitor, t0).agents.size(), 2u);

    tally.Forget("198.18.1.2");
    m = tally.Snapshot(monitor, t0);
    EXPECT_FALSE(m.agents[0].up);
    EXPECT_EQ(m.agents[0].traps, 0u);

    tally.Dropped(DropReason::StaleSequence);
    tally.SendFailed(SendKind::Resend);
    tally.DiscoveryAnswer();
    m = tally.Snapshot(monitor, t0);
    EXPECT_EQ(m.dropped[static_cast<std::size_t>(DropReason::StaleSequence)], 1u);
    EXPECT_EQ(m.send_errors[static_cast<std::size_t>(SendKind::Resend)], 1u);
    EXPECT_EQ(m.discovery_answers, 1u);
}

} // namespace
} // namespace kestrel::serve
