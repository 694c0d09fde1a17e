// kestrel-cli over several agents: set, passwd and dhcp-refresh on a list
// of targets (words, --targets FILE or -, --all-monitored), one result per
// agent, the worst agent's exit status, --stop-on-failure.

#include "CliLanFixture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <map>
#include <string>
#include <vector>

namespace {

// Agents: .2 and .5 take "pw", .3 has another password, .4 is silent.
constexpr const char* kAgents = "ip=198.18.1.2 mac=020000000002 iface=3 password=pw dhcp=1\n"
                                "ip=198.18.1.3 mac=020000000003 iface=3 password=other dhcp=1\n"
                                "ip=198.18.1.4 mac=020000000004 iface=3 password=pw silent=1\n"
                                "ip=198.18.1.5 mac=020000000005 iface=3 password=pw dhcp=1\n";

// Each JSON line of standard output, by its target.
std::map<std::string, QJsonObject> ResultsByTarget(const std::string& out) {
    std::map<std::string, QJsonObject> results;
    for (const QByteArray& line : QByteArray::fromStdString(out).split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        results[o[QStringLiteral("target")].toString().toStdString()] = o;
    }
    return results;
}

class CliFleetTest : public CliLanTest {};

TEST_F(CliFleetTest, EachAgentGetsItsResultAndTheStatusIsTheWorst) {
    StartSim(kAgents);
    ASSERT_EQ(RunCli({"monitor", "add", "198.18.1.5", "--file", Path("fleet.cfg")}).exit_code, 0);
    {
        QFile list(cfg.filePath(QStringLiteral("targets.txt")));
        ASSERT_TRUE(list.open(QIODevice::WriteOnly));
        list.write("# the hall\n198.18.1.2\n\n  02:00:00:00:00:03  # by MAC\n");
    }
    struct Case {
        const char* what;
        std::vector<std::string> args;
        std::string input;
        int exit_code;
        std::map<std::string, std::string> outcomes; // target -> outcome word
        std::vector<std::string> sets;               // sim lines that must come
    };
    const std::string targets_file = Path("targets.txt");
    const Case cases[] = {
        {"set: ok, wrong password, silent",
         {"set", "198.18.1.2", "198.18.1.3", "198.18.1.4", "--password", "pw", "--location", "x",
          "-t", "1", "--json"},
         "",
         5,
         {{"198.18.1.2", "ok"}, {"198.18.1.3", "agent-refused"}, {"198.18.1.4", "not-found"}},
         {"SET 198.18.1.2 kind=config status=0", "SET 198.18.1.3 kind=config status=2"}},
        {"only the silent one fails",
         {"-j", "set", "198.18.1.2", "198.18.1.4", "--password=pw", "--location=y", "-t", "1"},
         "",
         4,
         {{"198.18.1.2", "ok"}, {"198.18.1.4", "not-found"}},
         {"SET 198.18.1.2 kind=config status=0"}},
        {"targets from a file, comments and blanks skipped",
         {"dhcp-refresh", "--targets", targets_file, "--password", "pw", "--json", "-t", "1"},
         "",
         5,
         {{"198.18.1.2", "ok"}, {"02:00:00:00:00:03", "agent-refused"}},
         {"SET 198.18.1.2 kind=dhcp-refresh status=0"}},
        {"targets from standard input",
         {"passwd", "--targets", "-", "--password", "pw", "--new-password", "pw", "--json", "-t",
          "1"},
         "198.18.1.5\n198.18.1.4\n",
         4,
         {{"198.18.1.5", "ok"}, {"198.18.1.4", "not-found"}},
         {"SET 198.18.1.5 kind=config status=0 applied=password "}},
        {"every monitored agent",
         {"set", "--all-monitored", "--file", Path("fleet.cfg"), "--password", "pw", "--location",
          "w", "--json"},
         "",
         0,
         {{"198.18.1.5", "ok"}},
         {"SET 198.18.1.5 kind=config status=0"}},
    };
    const QRegularExpression iso(
        QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}(Z|[+-]\d\d:\d\d)$)"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t from = sim.Lines().size();
        const CliRun r = RunCli(c.args, {}, c.input);
        EXPECT_EQ(r.exit_code, c.exit_code) << "out: " << r.out << "\nerr: " << r.err;
        const auto results = ResultsByTarget(r.out);
        EXPECT_EQ(results.size(), c.outcomes.size()) << r.out;
        for (const auto& [target, outcome] : c.outcomes) {
            const auto it = results.find(target);
            ASSERT_NE(it, results.end()) << target << "\n" << r.out;
            const QJsonObject& o = it->second;
            EXPECT_EQ(o[QStringLiteral("outcome")].toString().toStdString(), outcome) << target;
            EXPECT_TRUE(iso.match(o[QStringLiteral("time")].toString()).hasMatch())
                << o[QStringLiteral("time")].toString().toStdString();
            EXPECT_EQ(o[QStringLiteral("exit_code")].toInt() == 0, outcome == "ok") << target;
        }
        for (const std::string& line : c.sets)
            EXPECT_TRUE(sim.WaitForLine(line, 2000, from)) << line;
    }
}

TEST_F(CliFleetTest, TextModeGivesOneLinePerAgentAndQuietNone) {
    StartSim(kAgents);
    const std::vector<std::string> args = {
        "set", "198.18.1.2", "198.18.1.3", "--password", "pw", "--location", "t", "--timeout", "1"};
    const CliRun text = RunCli(args);
    EXPECT_EQ(text.exit_code, 5) << text.err;
    EXPECT_NE(text.out.find("198.18.1.2  ok  Set Succesful\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("198.18.1.3  agent-refused  Device return : password error\n"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.err.find("Device return : password error"), std::string::npos) << text.err;

    std::vector<std::string> quiet = args;
    quiet.emplace_back("-q");
    const CliRun q = RunCli(quiet);
    EXPECT_EQ(q.exit_code, 5);
    EXPECT_EQ(q.out, "");
    EXPECT_EQ(q.err.find("Set Succesful"), std::string::npos) << q.err;
    EXPECT_NE(q.err.find("password error"), std::string::npos) << q.err;
}

TEST_F(CliFleetTest, StopOnFailureTriesNothingAfterTheFailure) {
    StartSim(kAgents);
    const std::size_t from = sim.Lines().size();
    const CliRun r = RunCli({"set", "198.18.1.3", "198.18.1.2", "--password", "pw", "--location",
                             "s", "--stop-on-failure", "-t", "1"});
    EXPECT_EQ(r.exit_code, 5) << r.err;
    EXPECT_NE(r.err.find("not tried: 198.18.1.2"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("198.18.1.2"), std::string::npos) << r.out;
    EXPECT_TRUE(sim.WaitForLine("SET 198.18.1.3 kind=config status=2", 2000, from));
    EXPECT_FALSE(sim.WaitForLine("SET 198.18.1.2", 300, from)) << "the second agent was set";
}

TEST_F(CliFleetTest, WrongTargetListsAreRefusedBeforeAnythingIsSent) {
    StartSim(kAgents);
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int exit_code;
        std::string err;
    };
    const Case cases[] = {
        {"no target", {"set", "--password", "pw"}, 1, "no target"},
        {"missing targets file",
         {"set", "--targets", "/nonexistent/targets.txt", "--password", "pw"},
         2,
         "/nonexistent/targets.txt: No such file or directory"},
        {"a folder as targets file",
         {"dhcp-refresh", "--targets", "/tmp", "--password", "pw"},
         2,
         "/tmp: Is a directory"},
        {"standard input asked twice",
         {"passwd", "--targets", "-", "--password-stdin"},
         1,
         "both want standard input"},
        {"a word that is no address",
         {"set", "198.18.1.2", "hall", "--password", "pw"},
         1,
         "hall is no IP or MAC address"},
        {"missing monitor file",
         {"set", "198.18.1.2", "--file", "/nonexistent/m.cfg", "--password", "pw"},
         2,
         "/nonexistent/m.cfg: No such file or directory"},
    };
    const std::size_t from = sim.Lines().size();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CliRun r = RunCli(c.args, {}, "198.18.1.2\n");
        EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_FALSE(sim.WaitForLine("SET ", 200, from));
}

} // namespace
