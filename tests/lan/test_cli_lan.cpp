// kestrel-cli end to end: the built binary run as a process inside
// scripts/lan against simulated agents, with a cfg directory of its own.

#include "CliLanFixture.h"
#include "FirmwareImages.h"
#include "PlainSocket.h"
#include "SimProcess.h"
#include "protocol/settings/SettingsDefaults.h"
#include "protocol/settings/SettingsFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <initializer_list>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST_F(CliLanTest, DiscoverListsEveryAgentAsJsonAndAsATable) {
    StartSim("ip=198.18.1.2 mac=020000000002 iface=3 dhcp=1 group=240 name=north location=hall\n"
             "ip=198.18.1.9 mac=020000000009 loader=1\n",
             3);
    const CliRun json = RunCli({"discover", "--timeout", "1", "--json"});
    ASSERT_EQ(json.exit_code, 0) << json.err;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json.out), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << json.out;
    const QJsonArray agents = doc.array();
    EXPECT_EQ(agents.size(), 5);
    QJsonObject named, loader;
    for (const QJsonValue& v : agents) {
        if (v[QStringLiteral("mac")] == QStringLiteral("020000000002"))
            named = v.toObject();
        if (v[QStringLiteral("mac")] == QStringLiteral("020000000009"))
            loader = v.toObject();
    }
    ASSERT_FALSE(named.isEmpty()) << json.out;
    EXPECT_EQ(named[QStringLiteral("ip")].toString(), QStringLiteral("198.18.1.2"));
    EXPECT_EQ(named[QStringLiteral("system_name")].toString(), QStringLiteral("north"));
    EXPECT_EQ(named[QStringLiteral("location")].toString(), QStringLiteral("hall"));
    EXPECT_EQ(named[QStringLiteral("dhcp")].toString(), QStringLiteral("enable"));
    EXPECT_EQ(named[QStringLiteral("group_interval")].toString(), QStringLiteral("240"));
    EXPECT_EQ(named[QStringLiteral("version")].toString(), QStringLiteral("2.001.003"));
    EXPECT_EQ(named[QStringLiteral("interface_version")].toInt(), 3);
    EXPECT_EQ(named[QStringLiteral("field_mask")].toArray().at(0).toInteger(), 0x2003FF);
    EXPECT_EQ(named[QStringLiteral("agent_mode")].toInt(), 0);
    ASSERT_FALSE(loader.isEmpty()) << json.out;
    EXPECT_EQ(loader[QStringLiteral("agent_mode")].toInt(), 100);

    const CliRun table = RunCli({"discover", "--timeout", "0.5"});
    ASSERT_EQ(table.exit_code, 0) << table.err;
    EXPECT_EQ(table.out.rfind("MAC Address", 0), 0u) << table.out;
    EXPECT_NE(table.out.find("020000000002  198.18.1.2"), std::string::npos) << table.out;
}

TEST_F(CliLanTest, MonitorFileKeepsTheWindowsRules) {
    const std::string file = Path("monitor.cfg");
    struct Case {
        std::vector<std::string> args;
        int exit_code;
        const char* err;
        std::size_t records;
    };
    const Case cases[] = {
        {{"monitor", "add", "198.18.1.2"}, 0, "", 1},
        {{"monitor", "add", "198.18.1.3"}, 0, "", 2},
        {{"monitor", "add", "198.18.1.2"}, 3, "Duplicate IP in monitor list or discovery list", 2},
        {{"monitor", "add", "0.0.0.0"}, 3, "IP address is illegal", 2},
        {{"monitor", "add", "198.18.1"}, 3, "IP address is illegal", 2},
        {{"monitor", "remove", "198.18.1.9"}, 3, "not in the monitor list", 2},
        {{"monitor", "remove", "198.18.1.2"}, 0, "", 1},
    };
    for (const Case& c : cases) {
        const CliRun r = RunCli(c.args);
        EXPECT_EQ(r.exit_code, c.exit_code) << c.args[2] << " " << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_EQ(ReadFile(file).size(), 300 * c.records) << c.args[1] << " " << c.args[2];
    }
    const CliRun list = RunCli({"monitor", "list", "--json"});
    ASSERT_EQ(list.exit_code, 0) << list.err;
    const QJsonArray listed = QJsonDocument::fromJson(QByteArray::fromStdString(list.out)).array();
    ASSERT_EQ(listed.size(), 1) << list.out;
    EXPECT_EQ(listed[0][QStringLiteral("ip")].toString(), QStringLiteral("198.18.1.3"));

    // Import: the file's own agent is a duplicate, the other one joins.
    const std::string other = Path("other.cfg");
    ASSERT_EQ(RunCli({"monitor", "add", "198.18.1.4", "--file", other}).exit_code, 0);
    ASSERT_EQ(RunCli({"monitor", "add", "198.18.1.3", "--file", other}).exit_code, 0);
    const CliRun import = RunCli({"monitor", "import", other});
    EXPECT_EQ(import.exit_code, 0) << import.err;
    EXPECT_NE(import.err.find("Duplicate ip in monitor list"), std::string::npos) << import.err;
    EXPECT_EQ(ReadFile(file).size(), 600u);

    // A file that is no whole number of records is refused and left alone.
    QFile broken(QString::fromStdString(other));
    ASSERT_TRUE(broken.open(QIODevice::Append));
    broken.write("x");
    broken.close();
    const CliRun bad = RunCli({"monitor", "import", other});
    EXPECT_EQ(bad.exit_code, 2);
    EXPECT_NE(bad.err.find("Config File Error"), std::string::npos) << bad.err;
    EXPECT_EQ(ReadFile(file).size(), 600u);
}

TEST_F(CliLanTest, SetCommandsWaitForTheAnswerAndTellItByTheirStatus) {
    StartSim("ip=198.18.1.2 mac=020000000002 iface=3 password=pw dhcp=1\n"
             "ip=198.18.1.3 mac=020000000003 iface=3 password=pw silent=1\n"
             "ip=198.18.1.4 mac=020000000004 iface=3 password=pw set_silent=1\n"
             "ip=198.18.1.5 mac=020000000005 iface=3 password=pw dhcp=1 dhcp_fail=1\n"
             "ip=198.18.1.6 mac=020000000006 iface=3 password=pw dhcp=1\n"
             "ip=198.18.1.7 mac=020000000007 iface=3 password=pw dhcp=1 loader=1\n");
    struct Case {
        const char* what;
        std::vector<std::string> args;
        std::vector<std::string> env;
        std::string input;
        int exit_code;
        const char* said; // on stdout for 0, else on stderr
        const char* sim_line;
    };
    const Case cases[] = {
        {"name by IP",
         {"set", "198.18.1.2", "--password", "pw", "--system-name", "north"},
         {},
         "",
         0,
         "Set Succesful",
         "SET 198.18.1.2 kind=config status=0"},
        {"by MAC, password from the environment",
         {"set", "02:00:00:00:00:02", "--password-env", "PW", "--location", "hall"},
         {"PW=pw"},
         "",
         0,
         "Set Succesful",
         "SET 198.18.1.2 kind=config status=0"},
        {"failed password",
         {"set", "198.18.1.2", "--password", "nope", "--location", "x"},
         {},
         "",
         5,
         "Device return : password error",
         "SET 198.18.1.2 kind=config status=2"},
        {"silent agent",
         {"set", "198.18.1.3", "--password", "pw", "--timeout", "1"},
         {},
         "",
         4,
         "No agent answered at 198.18.1.3",
         nullptr},
        {"no answer to the set",
         {"set", "198.18.1.4", "--password", "pw", "--timeout", "1"},
         {},
         "",
         6,
         "No answer from the agent",
         nullptr},
        {"the dialog's check",
         {"set", "198.18.1.2", "--password", "pw", "--trap-ip", "127.0.0.1"},
         {},
         "",
         3,
         "Error Trap IP",
         nullptr},
        {"empty password",
         {"set", "198.18.1.2", "--password", ""},
         {},
         "",
         3,
         "Password lengths between 1-20",
         nullptr},
        {"loader mode",
         {"set", "198.18.1.7", "--password", "pw"},
         {},
         "",
         3,
         "Agent is in loader mode, it can't set \n it needs firmware upgrade",
         nullptr},
        {"dhcp refresh",
         {"dhcp-refresh", "198.18.1.6", "--password-stdin"},
         {},
         "pw\n",
         0,
         "Set Succesful",
         "SET 198.18.1.6 kind=dhcp-refresh status=0"},
        {"dhcp refresh fails",
         {"dhcp-refresh", "198.18.1.5", "--password", "pw"},
         {},
         "",
         5,
         "Device return : dhcp refresh fail",
         "SET 198.18.1.5 kind=dhcp-refresh status=6"},
        {"passwd with an empty new password",
         {"passwd", "198.18.1.6", "--password", "pw", "--new-password", ""},
         {},
         "",
         3,
         "Password length between 1-20  ",
         nullptr},
        {"passwd from standard input",
         {"passwd", "198.18.1.6", "--password-stdin"},
         {},
         "pw\nfresh\n",
         0,
         "Set Succesful",
         "SET 198.18.1.6 kind=config status=0 applied=password "},
        {"the new password counts",
         {"set", "198.18.1.6", "--password", "fresh", "--dhcp", "off", "--ip", "198.18.1.60",
          "--mask", "255.254.0.0", "--gateway", "198.18.0.254"},
         {},
         "",
         0,
         "Set Succesful",
         "SET 198.18.1.6 kind=config status=0"},
    };
    for (const Case& c : cases) {
        const std::size_t from = sim.Lines().size();
        const CliRun r = RunCli(c.args, c.env, c.input);
        EXPECT_EQ(r.exit_code, c.exit_code) << c.what << "\nout: " << r.out << "\nerr: " << r.err;
        const std::string& said = c.exit_code == 0 ? r.out : r.err;
        EXPECT_NE(said.find(c.said), std::string::npos) << c.what << ": " << said;
        if (c.sim_line) {
            EXPECT_TRUE(sim.WaitForLine(c.sim_line, 2000, from)) << c.what;
        }
    }
    EXPECT_TRUE(sim.WaitForLine("now=198.18.1.60", 100)) << "the agent took its new address";
    const std::size_t from = sim.Lines().size();
    ASSERT_TRUE(sim.Command("show 198.18.1.2"));
    const auto shown = sim.WaitForLine("AGENT", 2000, from);
    ASSERT_TRUE(shown);
    EXPECT_NE(shown->find("north"), std::string::npos) << *shown;
    EXPECT_NE(shown->find("hall"), std::string::npos) << *shown;
}

// A host that knows an agent's MAC sends set answers in its name, of both
// commands and with every low sequence number, while the agent itself
// stays silent: the answer is not taken from anyone but the agent, so the
// set is not said to have succeeded.
TEST_F(CliLanTest, AStrangerCannotAnswerASetForTheAgent) {
    StartSim("ip=198.18.1.4 mac=020000000004 iface=3 password=pw set_silent=1\n");
    std::atomic<bool> forging{true};
    std::atomic<int> forged{0};
    std::thread stranger([&] {
        kestrel::test::PlainSocket socket(0, 0xC612013C); // 198.18.1.60
        if (!socket.Bound())
            return;
        while (forging) {
            for (const uint16_t command : {uint16_t{4}, uint16_t{8}}) {
                for (uint16_t sequence = 0; sequence < 8; ++sequence) {
                    // A set answer with status 0, laid out as the header is.
                    std::vector<uint8_t> reply(40, 0);
                    reply[1] = 2;                                    // protocol version
                    reply[3] = 1;                                    // sub-version
                    const uint8_t mac[6] = {0x02, 0, 0, 0, 0, 0x04}; // the agent's
                    std::copy(std::begin(mac), std::end(mac), reply.begin() + 4);
                    reply[11] = 3; // interface version
                    reply[13] = static_cast<uint8_t>(command);
                    reply[16] = 0x4B, reply[17] = 0x45, reply[18] = 0x53, reply[19] = 0x54;
                    reply[27] = static_cast<uint8_t>(sequence);
                    for (const uint16_t port : {uint16_t{5010}, uint16_t{5011}, uint16_t{5016}})
                        socket.Send(reply, 0xC6120001, port);
                    ++forged;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    struct Case {
        const char* what;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {"discovery-list agent (broadcast, command 4)",
         {"set", "02:00:00:00:00:04", "--password", "pw", "--location", "x", "--timeout", "2"}},
        {"monitor-list agent (unicast, command 8)",
         {"set", "198.18.1.4", "--password", "pw", "--location", "x", "--timeout", "2", "--file",
          Path("watched.cfg")}},
    };
    ASSERT_EQ(RunCli({"monitor", "add", "198.18.1.4", "--file", Path("watched.cfg")}).exit_code, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CliRun r = RunCli(c.args);
        EXPECT_EQ(r.exit_code, 6) << "out: " << r.out << "\nerr: " << r.err;
        EXPECT_EQ(r.out.find("Set Succesful"), std::string::npos) << r.out;
        EXPECT_NE(r.err.find("No answer from the agent"), std::string::npos) << r.err;
    }
    forging = false;
    stranger.join();
    EXPECT_GT(forged.load(), 100);
    EXPECT_GE(sim.Count("SILENT 198.18.1.4"), 2);
}

TEST_F(CliLanTest, WatchPrintsChangesLogsThemAndEndsOnSigint) {
    StartSim(
        "ip=198.18.1.2 mac=020000000002 iface=3\n"
        "ip=198.18.1.3 mac=020000000003 iface=3 silent=1\n"
        "ip=198.18.1.4 mac=020000000004 iface=3 trap_every=1 trap_text=\"Port 2 link down\"\n");
    for (const char* ip : {"198.18.1.2", "198.18.1.3", "198.18.1.4"})
        ASSERT_EQ(RunCli({"monitor", "add", ip}).exit_code, 0);

    QProcess watch;
    Begin(watch, {"watch", "--refresh", "1", "--json"});
    std::vector<QJsonObject> events;
    const auto seen = [&](const char* ip, const char* event) {
        for (const QJsonObject& e : events)
            if (e[QStringLiteral("ip")].toString() == QLatin1String(ip) &&
                e[QStringLiteral("event")].toString() == QLatin1String(event))
                return true;
        return false;
    };
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 20000 &&
           !(seen("198.18.1.2", "alive") && seen("198.18.1.3", "not alive") &&
             seen("198.18.1.4", "trap"))) {
        watch.waitForReadyRead(200);
        while (watch.canReadLine()) {
            const QByteArray line = watch.readLine();
            QJsonParseError error{};
            const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
            ASSERT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
            events.push_back(doc.object());
        }
    }
    EXPECT_TRUE(seen("198.18.1.2", "alive"));
    EXPECT_TRUE(seen("198.18.1.3", "not alive"));
    EXPECT_TRUE(seen("198.18.1.4", "trap"));
    EXPECT_FALSE(seen("198.18.1.2", "not alive"));
    int traps = 0;
    for (const QJsonObject& e : events)
        if (e[QStringLiteral("event")].toString() == QStringLiteral("trap")) {
            EXPECT_EQ(e[QStringLiteral("text")].toString(), QStringLiteral("Port 2 link down"));
            ++traps;
        }
    // One line per change: the alive agent is said once, every trap once.
    int alive_lines = 0;
    for (const QJsonObject& e : events)
        alive_lines += e[QStringLiteral("ip")].toString() == QStringLiteral("198.18.1.2");
    EXPECT_EQ(alive_lines, 1);

    ::kill(static_cast<pid_t>(watch.processId()), SIGINT);
    ASSERT_TRUE(watch.waitForFinished(3000)) << "SIGINT ends watch";
    EXPECT_EQ(watch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch.exitCode(), 130) << "an interrupt is not a success";

    const std::string log = ReadFile(Path("syslog.log"));
    EXPECT_NE(log.find(" 198.18.1.3 Not alive \r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" 198.18.1.4 Trap :Port 2 link down\r\n"), std::string::npos) << log;

    // --no-log: the same traps, nothing appended.
    QProcess quiet;
    Begin(quiet, {"watch", "--refresh", "1", "--no-log"});
    std::string out;
    clock.restart();
    while (clock.elapsed() < 10000 && out.find("trap: Port 2 link down") == std::string::npos) {
        quiet.waitForReadyRead(200);
        out += quiet.readAllStandardOutput().toStdString();
    }
    EXPECT_NE(out.find("198.18.1.4 trap: Port 2 link down"), std::string::npos) << out;
    ::kill(static_cast<pid_t>(quiet.processId()), SIGTERM);
    ASSERT_TRUE(quiet.waitForFinished(3000)) << "SIGTERM ends watch";
    EXPECT_EQ(quiet.exitCode(), 130);
    EXPECT_EQ(ReadFile(Path("syslog.log")).size(), log.size());
}

// Every password source takes at most 20 characters and cuts none: a
// longer one is refused in the words --password gets, before anything is
// sent. Standard input gives one line of at most 256 bytes.
TEST_F(CliLanTest, PasswordsOverTwentyCharactersAreRefusedFromEverySource) {
    StartSim("ip=198.18.1.2 mac=020000000002 iface=3 dhcp=1 password=abcdefghijklmnopqrst\n");
    const std::string twenty = "abcdefghijklmnopqrst";
    const std::string longer = twenty + "u"; // the agent's password and one more
    const std::string fw = Path("fw.hex");
    {
        QFile f(QString::fromStdString(fw));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(1000, 'x'));
    }
    const char* const set_words = "Password lengths between 1-20";
    const char* const passwd_words = "Password length between 1-20  ";
    struct Case {
        const char* what;
        std::vector<std::string> args;
        std::vector<std::string> env;
        std::string input;
        QString input_file;
        const char* words;
    };
    const std::vector<std::string> refresh = {"dhcp-refresh", "198.18.1.2", "--timeout", "1"};
    const auto with = [](std::vector<std::string> args, std::initializer_list<std::string> more) {
        args.insert(args.end(), more);
        return args;
    };
    const Case cases[] = {
        {"dhcp-refresh, --password", with(refresh, {"--password", longer}), {}, "", {}, set_words},
        {"dhcp-refresh, --password-env",
         with(refresh, {"--password-env", "PW"}),
         {"PW=" + longer},
         "",
         {},
         set_words},
        {"dhcp-refresh, KESTREL_PASSWORD",
         refresh,
         {"KESTREL_PASSWORD=" + longer},
         "",
         {},
         set_words},
        {"dhcp-refresh, standard input",
         with(refresh, {"--password-stdin"}),
         {},
         longer + "\n",
         {},
         set_words},
        {"a line past 256 bytes",
         with(refresh, {"--password-stdin"}),
         {},
         std::string(300, 'a') + "\n",
         {},
         set_words},
        {"a line without end",
         with(refresh, {"--password-stdin"}),
         {},
         "",
         QStringLiteral("/dev/zero"),
         set_words},
        {"set, standard input",
         {"set", "198.18.1.2", "--password-stdin", "--location", "x"},
         {},
         longer + "\n",
         {},
         set_words},
        {"passwd, the new one from standard input",
         {"passwd", "198.18.1.2", "--password-stdin"},
         {},
         twenty + "\n" + longer + "\n",
         {},
         passwd_words},
        {"passwd, the current one from the environment",
         {"passwd", "198.18.1.2", "--new-password", "x"},
         {"KESTREL_PASSWORD=" + longer},
         "",
         {},
         passwd_words},
        {"passwd, a line without end",
         {"passwd", "198.18.1.2", "--password-stdin"},
         {},
         "",
         QStringLiteral("/dev/zero"),
         passwd_words},
        {"upgrade, KESTREL_PASSWORD",
         {"upgrade", "198.18.1.2", fw},
         {"KESTREL_PASSWORD=" + longer},
         "",
         {},
         set_words},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CliRun r = RunCli(c.args, c.env, c.input, 10000, c.input_file);
        EXPECT_EQ(r.exit_code, 3) << "out: " << r.out << "\nerr: " << r.err;
        EXPECT_EQ(r.err, std::string(c.words) + "\n");
    }
    EXPECT_EQ(sim.Count("SET 198.18.1.2"), 0);
    EXPECT_EQ(sim.Count("TRIGGER 198.18.1.2"), 0);

    // Twenty characters from standard input are the agent's password.
    const CliRun right = RunCli(with(refresh, {"--password-stdin"}), {}, twenty + "\r\n");
    EXPECT_EQ(right.exit_code, 0) << right.err;
    EXPECT_TRUE(sim.WaitForLine("SET 198.18.1.2 kind=dhcp-refresh status=0", 2000));
}

// Agents' texts may hold control characters: window titles, colours, a
// carriage return that overwrites the line, bytes 0x80-0x9F that some
// terminals take for controls. Tables, watch lines, JSON and the device's
// error all show them as text.
TEST_F(CliLanTest, AgentsTextsStayTextOnTheTerminal) {
    // Agent .2 has texts of its own (raw bytes in the agents file, inside
    // quotes); .3 sends the simulator's hostile texts, which stop at a NUL
    // after "\x1b[2J\x1b]0;owned\x07\b\f\r\n".
    StartSim("ip=198.18.1.2 mac=020000000002 iface=3 password=pw"
             " name=\"\x1b]0;owned\x07\r\" location=\"\x9b"
             "2J\x7f\\\\x\" product=\"\x85"
             "fake\x1b[31m\" trap_every=1 trap_text=\"\x1b]0;t\x07\r\x9b"
             "31m\" tftp_error_at=1 tftp_error_text=\"\x1b]0;title\x07\r fake line\x9b"
             "31m\"\n"
             "ip=198.18.1.3 mac=020000000003 iface=3 hostile=1 trap_every=1\n");
    const std::string name = "\\x1b]0;owned\\x07\\r";
    const std::string location = "\\x9b2J\\x7f\\\\x";
    const std::string product = "\\x85fake\\x1b[31m";
    const std::string hostile = "\\x1b[2J\\x1b]0;owned\\x07\\x08\\x0c\\r\\n";

    const CliRun table = RunCli({"discover", "--timeout", "1"});
    ASSERT_EQ(table.exit_code, 0) << table.err;
    EXPECT_EQ(NotPlainText(table.out), "") << table.out;
    for (const std::string& shown : {name, location, product, hostile})
        EXPECT_NE(table.out.find(shown), std::string::npos) << shown << "\n" << table.out;
    // The columns stay aligned: Location starts under its title.
    const QStringList lines = QString::fromUtf8(table.out).split(QLatin1Char('\n'));
    const auto column = lines[0].indexOf(QStringLiteral("Location"));
    for (const QString& line : lines) {
        if (line.startsWith(QStringLiteral("020000000002"))) {
            EXPECT_EQ(line.indexOf(QString::fromStdString(location)), column) << line.toStdString();
        }
    }

    const CliRun json = RunCli({"discover", "--timeout", "1", "--json"});
    ASSERT_EQ(json.exit_code, 0) << json.err;
    EXPECT_EQ(NotPlainText(json.out), "") << json.out;
    QJsonObject own;
    for (const QJsonValue& v : QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).array())
        if (v[QStringLiteral("mac")] == QStringLiteral("020000000002"))
            own = v.toObject();
    EXPECT_EQ(own[QStringLiteral("system_name")].toString(), QLatin1String("\x1b]0;owned\x07\r"));
    EXPECT_EQ(own[QStringLiteral("location")].toString(), QLatin1String("\x9b"
                                                                        "2J\x7f\\x"));

    // watch, as lines and as JSON: every trap text as text.
    for (const char* ip : {"198.18.1.2", "198.18.1.3"})
        ASSERT_EQ(RunCli({"monitor", "add", ip}).exit_code, 0);
    const std::string own_trap = "198.18.1.2 trap: \\x1b]0;t\\x07\\r\\x9b31m\n";
    const std::string hostile_trap = "198.18.1.3 trap: " + hostile;
    for (const bool as_json : {false, true}) {
        SCOPED_TRACE(as_json ? "watch --json" : "watch");
        QProcess watch;
        std::vector<std::string> args = {"watch", "--refresh", "1", "--no-log"};
        if (as_json)
            args.emplace_back("--json");
        Begin(watch, args);
        std::string out;
        std::map<QString, QString> trap_texts; // by address, from the JSON lines
        const auto both = [&] {
            if (as_json)
                return trap_texts.size() == 2;
            return out.find(own_trap) != std::string::npos &&
                   out.find(hostile_trap) != std::string::npos;
        };
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 15000 && !both()) {
            watch.waitForReadyRead(200);
            while (watch.canReadLine()) {
                const QByteArray line = watch.readLine();
                out += line.toStdString();
                const QJsonObject event = QJsonDocument::fromJson(line).object();
                if (event[QStringLiteral("event")] == QStringLiteral("trap"))
                    trap_texts[event[QStringLiteral("ip")].toString()] =
                        event[QStringLiteral("text")].toString();
            }
        }
        ::kill(static_cast<pid_t>(watch.processId()), SIGTERM);
        ASSERT_TRUE(watch.waitForFinished(3000));
        out += watch.readAllStandardOutput().toStdString();
        EXPECT_TRUE(both()) << out;
        EXPECT_EQ(NotPlainText(out), "") << out;
        if (as_json) {
            EXPECT_EQ(trap_texts[QStringLiteral("198.18.1.2")], QLatin1String("\x1b]0;t\x07\r\x9b"
                                                                              "31m"));
            EXPECT_TRUE(trap_texts[QStringLiteral("198.18.1.3")].startsWith(
                QLatin1String("\x1b[2J\x1b]0;owned\x07\b\f\r\n")));
        }
    }

    // The device's error for the first block: its text on standard error,
    // as text, and the program's reboot hint after it.
    const std::string fw = Path("fw.hex");
    {
        QFile f(QString::fromStdString(fw));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(2000, 'x'));
    }
    const CliRun upgrade = RunCli({"upgrade", "198.18.1.2", fw, "--password", "pw"});
    EXPECT_EQ(upgrade.exit_code, 7) << upgrade.err;
    EXPECT_EQ(NotPlainText(upgrade.err), "") << upgrade.err;
    EXPECT_EQ(NotPlainText(upgrade.out), "") << upgrade.out;
    EXPECT_NE(upgrade.err.find("\\x1b]0;title\\x07\\r fake line\\x9b31m\n"
                               "The device will reboot, please wait for a few seconds\n"),
              std::string::npos)
        << upgrade.err;
}

TEST_F(CliLanTest, UpgradeSendsAnImageAndReportsTheAgentBack) {
    StartSim("ip=198.18.1.2 mac=020000000002 iface=3 password=pw reboot=1\n");
    const std::vector<uint8_t> image = firmware_images::PatternImage(1 << 20);
    const std::string path = Path("fw.hex");
    {
        QFile f(QString::fromStdString(path));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(image.data()), static_cast<qint64>(image.size()));
    }
    // A failed password ends at the trigger: nothing goes over TFTP.
    const CliRun refused = RunCli({"upgrade", "198.18.1.2", path, "--password", "nope"});
    EXPECT_EQ(refused.exit_code, 5) << refused.err;
    EXPECT_NE(refused.err.find("Device return : password error"), std::string::npos) << refused.err;
    EXPECT_EQ(sim.Count("wrq"), 0);
    // A file that is not there is refused before anything is sent.
    const CliRun missing = RunCli({"upgrade", "198.18.1.2", Path("none.hex"), "--password", "pw"});
    EXPECT_EQ(missing.exit_code, 3);
    EXPECT_NE(missing.err.find("Firmware file not found"), std::string::npos) << missing.err;

    const CliRun r =
        RunCli({"upgrade", "02-00-00-00-00-02", path, "--password", "pw"}, {}, "", 120000);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    // Not a terminal: plain progress lines on standard error, then the
    // agent's result on standard output.
    EXPECT_NE(r.err.find("Upgrade..."), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Complete...1048576/1048576 bytes"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("02-00-00-00-00-02  ok  Upgrade successful\n"), std::string::npos)
        << r.out;
    EXPECT_EQ((r.out + r.err).find('\r'), std::string::npos) << "no bar outside a terminal";
    EXPECT_TRUE(sim.WaitForLine(firmware_images::StoredText("198.18.1.2", image), 1000));
}

} // namespace
