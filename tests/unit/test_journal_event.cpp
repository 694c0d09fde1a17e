// The service's events: journal fields and the standard-error line.

#include "JournalEvent.h"
#include "MetricsServer.h"
#include "MonitorReload.h"
#include "ServiceFolders.h"

#include <gtest/gtest.h>

namespace kestrel::serve {
namespace {

using Fields = std::vector<std::string>;

TEST(JournalEvent, FieldsAndLineOfEachEvent) {
    struct Case {
        const char* name;
        JournalEvent event;
        Fields fields;
        std::string line;
    };
    const Case cases[] = {
        {"lost",
         LostEvent("198.18.1.3", "020000000003"),
         {"MESSAGE=Agent 198.18.1.3 is not alive", "PRIORITY=4", "SYSLOG_IDENTIFIER=kestrel-cli",
          "KESTREL_EVENT=lost", "KESTREL_AGENT_IP=198.18.1.3", "KESTREL_AGENT_MAC=020000000003"},
         "warning: Agent 198.18.1.3 is not alive (event=lost ip=198.18.1.3 mac=020000000003)"},
        {"back",
         BackEvent("198.18.1.3", "020000000003"),
         {"MESSAGE=Agent 198.18.1.3 answers again", "PRIORITY=5", "SYSLOG_IDENTIFIER=kestrel-cli",
          "KESTREL_EVENT=back", "KESTREL_AGENT_IP=198.18.1.3", "KESTREL_AGENT_MAC=020000000003"},
         "notice: Agent 198.18.1.3 answers again (event=back ip=198.18.1.3 mac=020000000003)"},
        {"trap with Latin-1 and control characters",
         TrapReceivedEvent("198.18.1.4", "020000000004",
                           "Port 2 \xE9tat\x1B[2J\x85"
                           "down\nnext"),
         {"MESSAGE=Trap from 198.18.1.4: Port 2 \xC3\xA9tat\x1B[2J\xC2\x85"
          "down\nnext",
          "PRIORITY=5", "SYSLOG_IDENTIFIER=kestrel-cli", "KESTREL_EVENT=trap",
          "KESTREL_AGENT_IP=198.18.1.4", "KESTREL_AGENT_MAC=020000000004",
          "KESTREL_TRAP_TEXT=Port 2 \xC3\xA9tat\x1B[2J\xC2\x85"
          "down\nnext"},
         "notice: Trap from 198.18.1.4: Port 2 \xC3\xA9tat\\x1B[2J\\x85down\\x0Anext (event=trap "
         "ip=198.18.1.4 mac=020000000004)"},
        {"empty trap text keeps its field",
         TrapReceivedEvent("198.18.1.4", "", ""),
         {"MESSAGE=Trap from 198.18.1.4: ", "PRIORITY=5", "SYSLOG_IDENTIFIER=kestrel-cli",
          "KESTREL_EVENT=trap", "KESTREL_AGENT_IP=198.18.1.4", "KESTREL_TRAP_TEXT="},
         "notice: Trap from 198.18.1.4:  (event=trap ip=198.18.1.4)"},
        {"status",
         StatusEvent({8, 2, "020000000005", 0}, "198.18.1.5", "Password Error"),
         {"MESSAGE=Agent 198.18.1.5 answered command 8 with status 2: Password Error", "PRIORITY=3",
          "SYSLOG_IDENTIFIER=kestrel-cli", "KESTREL_EVENT=status", "KESTREL_AGENT_IP=198.18.1.5",
          "KESTREL_AGENT_MAC=020000000005"},
         "error: Agent 198.18.1.5 answered command 8 with status 2: Password Error (event=status "
         "ip=198.18.1.5 mac=020000000005)"},
        {"send failure",
         SendFailureEvent("polling error 101"),
         {"MESSAGE=polling error 101", "PRIORITY=3", "SYSLOG_IDENTIFIER=kestrel-cli",
          "KESTREL_EVENT=send-failure"},
         "error: polling error 101 (event=send-failure)"},
        {"reload",
         ReloadEvent({"198.18.1.60", "198.18.1.61"}, {"198.18.1.2"}),
         {"MESSAGE=monitor.cfg reloaded: 2 added (198.18.1.60, 198.18.1.61), 1 removed "
          "(198.18.1.2)",
          "PRIORITY=5", "SYSLOG_IDENTIFIER=kestrel-cli", "KESTREL_EVENT=reload"},
         "notice: monitor.cfg reloaded: 2 added (198.18.1.60, 198.18.1.61), 1 removed "
         "(198.18.1.2) (event=reload)"},
        {"reload without change",
         ReloadEvent({}, {}),
         {"MESSAGE=monitor.cfg reloaded: no change", "PRIORITY=5", "SYSLOG_IDENTIFIER=kestrel-cli",
          "KESTREL_EVENT=reload"},
         "notice: monitor.cfg reloaded: no change (event=reload)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(JournalFields(c.event), c.fields);
        EXPECT_EQ(StderrLine(c.event), c.line);
    }
}

TEST(ListenAddressParse, AcceptsAddressAndPortForms) {
    struct Case {
        const char* text;
        std::optional<ListenAddress> expected;
    };
    const Case cases[] = {
        {"127.0.0.1:9999", ListenAddress{"127.0.0.1", 9999}},
        {"0.0.0.0:19823", ListenAddress{"0.0.0.0", 19823}},
        {"[::1]:8080", ListenAddress{"::1", 8080}},
        {":8080", ListenAddress{"127.0.0.1", 8080}},
        {"8080", ListenAddress{"127.0.0.1", 8080}},
        {"::1:8080", std::nullopt},
        {"127.0.0.1:0", std::nullopt},
        {"127.0.0.1:65536", std::nullopt},
        {"127.0.0.1:", std::nullopt},
        {"127.0.0.1:80x", std::nullopt},
        {"localhost:80", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseListenAddress(c.text), c.expected);
    }
}

TEST(ServiceFolders, OptionThenTestFolderThenSystemdThenDefault) {
    struct Case {
        const char* name;
        FolderInputs in;
        const char* state;
        const char* config;
    };
    const std::nullopt_t none = std::nullopt;
    // Options (state, config), then KESTREL_CFG_DIR, STATE_DIRECTORY,
    // CONFIGURATION_DIRECTORY.
    const Case cases[] = {
        {"defaults",
         {none, none, none, none, none},
         "/var/lib/kestrel-utility",
         "/etc/kestrel-utility"},
        {"systemd's folders",
         {none, none, none, "/var/lib/private/k", "/etc/k:/etc/x"},
         "/var/lib/private/k",
         "/etc/k"},
        {"KESTREL_CFG_DIR over systemd's",
         {none, none, "/tmp/t", "/var/lib/k", "/etc/k"},
         "/tmp/t",
         "/tmp/t"},
        {"options over all", {"/s", "/c", "/tmp/t", none, none}, "/s", "/c"},
        {"one option", {"/s", none, none, none, none}, "/s", "/etc/kestrel-utility"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ServiceFolders f = ResolveServiceFolders(c.in);
        EXPECT_EQ(f.state, c.state);
        EXPECT_EQ(f.config, c.config);
    }
}

DeviceRecord Agent(const char* ip, int missed = 0) {
    DeviceRecord r = ZeroRecord();
    SetFieldText(r.ip_text, ip);
    r.missed_polls = missed;
    return r;
}

TEST(MonitorReload, KeepsTheLiveRecordsOfAgentsStillListed) {
    DeviceTable monitor;
    monitor.Append(Agent("198.18.1.2", 2));
    monitor.Append(Agent("198.18.1.3", 5));
    monitor.Append(Agent("198.18.1.4", 1));
    DeviceTable loaded;
    loaded.Append(Agent("198.18.1.9"));
    loaded.Append(Agent("198.18.1.4"));
    loaded.Append(Agent("198.18.1.2"));

    const MonitorChange change = ApplyMonitorList(monitor, loaded);
    EXPECT_EQ(change.added, std::vector<std::string>{"198.18.1.9"});
    EXPECT_EQ(change.removed, std::vector<std::string>{"198.18.1.3"});
    ASSERT_EQ(monitor.count(), 3);
    EXPECT_EQ(FieldText(monitor.records[0].ip_text), "198.18.1.9");
    EXPECT_EQ(FieldText(monitor.records[1].ip_text), "198.18.1.4");
    EXPECT_EQ(monitor.records[1].missed_polls, 1) << "the polling's record is kept";
    EXPECT_EQ(monitor.records[2].missed_polls, 2);
    EXPECT_EQ(FieldText(monitor.records[3].ip_text), "") << "the rest of the table is cleared";

    const MonitorChange none = ApplyMonitorList(monitor, loaded);
    EXPECT_TRUE(none.added.empty());
    EXPECT_TRUE(none.removed.empty());

    const MonitorChange emptied = ApplyMonitorList(monitor, DeviceTable{});
    EXPECT_EQ(emptied.removed.size(), 3u);
    EXPECT_EQ(monitor.count(), 0);
}

} // namespace
} // namespace kestrel::serve
