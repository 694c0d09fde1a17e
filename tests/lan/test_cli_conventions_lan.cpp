// kestrel-cli as an administrator meets it: a fresh account, files that are
// not there, Ctrl-C, a second program on the ports, and names beyond ASCII.

#include "CliLanFixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QThread>

#include <csignal>
#include <string>
#include <vector>

namespace {

// An installed layout: bin/kestrel-cli with share/kestrel-utility/define.ecf
// (or without), and a home that has never seen the program.
class CliFreshHomeTest : public CliLanTest {
protected:
    void Install(bool with_define_ecf) {
        ASSERT_TRUE(prefix.isValid() && home.isValid());
        ASSERT_TRUE(QDir(prefix.path()).mkpath(QStringLiteral("bin")));
        const QString copy = prefix.filePath(QStringLiteral("bin/kestrel-cli"));
        ASSERT_TRUE(QFile::copy(Cli(), copy));
        if (with_define_ecf) {
            ASSERT_TRUE(QDir(prefix.path()).mkpath(QStringLiteral("share/kestrel-utility")));
            ASSERT_TRUE(
                QFile::copy(cfg.filePath(QStringLiteral("define.ecf")),
                            prefix.filePath(QStringLiteral("share/kestrel-utility/define.ecf"))));
        }
        program = copy;
    }
    std::vector<std::string> FreshEnv() const {
        const std::string h = home.path().toStdString();
        return {"KESTREL_CFG_DIR", "HOME=" + h, "XDG_CONFIG_HOME=" + h + "/.config",
                "XDG_DATA_DIRS=" + h + "/none"};
    }
    std::string UserFile(const char* name) const {
        return home.path().toStdString() + "/.config/kestrel-utility/" + name;
    }

    QTemporaryDir prefix;
    QTemporaryDir home;
};

TEST_F(CliFreshHomeTest, TheFirstCommandPreparesTheFolderAsTheWindowDoes) {
    StartSim("ip=198.18.1.2 mac=020000000002 iface=3 name=north\n");
    Install(true);
    const CliRun add = RunCli({"monitor", "add", "198.18.1.2"}, FreshEnv());
    EXPECT_EQ(add.exit_code, 0) << add.err;
    EXPECT_EQ(ReadFile(UserFile("monitor.cfg")).size(), 300u);
    EXPECT_EQ(ReadFile(UserFile("define.ecf")), ReadFile(Path("define.ecf")));

    const CliRun found = RunCli({"discover", "-t", "1", "--json"}, FreshEnv());
    EXPECT_EQ(found.exit_code, 0) << found.err;
    EXPECT_NE(found.out.find("\"north\""), std::string::npos) << found.out;
}

TEST_F(CliFreshHomeTest, WithoutAnInstalledDefineEcfItSaysWhereItLooked) {
    Install(false);
    const CliRun r = RunCli({"discover", "-t", "1"}, FreshEnv());
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find(UserFile("define.ecf") + ": No such file or directory"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("per-user cfg folder"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST_F(CliLanTest, FilesTheUserNamesMustBeThere) {
    ASSERT_TRUE(QDir(cfg.path()).mkdir(QStringLiteral("folder")));
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const std::string folder = Path("folder");
    const Case cases[] = {
        {{"watch", "--file", "/nonexistent/nope.cfg"},
         "/nonexistent/nope.cfg: No such file or directory"},
        {{"watch", "--file", folder}, folder + ": Is a directory"},
        {{"set", "198.18.1.2", "--password", "pw", "--file", "/nonexistent/nope.cfg"},
         "/nonexistent/nope.cfg: No such file or directory"},
        {{"passwd", "--targets", "nope.txt", "--password", "pw", "--new-password", "x"},
         "nope.txt: No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1] + " " + c.args[2]);
        const CliRun r = RunCli(c.args, {}, "", 10000);
        EXPECT_EQ(r.exit_code, 2) << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
}

// SIGINT while the command waits: status 130, after what is known.
TEST_F(CliLanTest, AnInterruptEndsEveryCommandWithStatus130) {
    StartSim("ip=198.18.1.2 mac=020000000002 iface=3 password=pw\n"
             "ip=198.18.1.4 mac=020000000004 iface=3 password=pw set_silent=1\n");
    struct Case {
        const char* what;
        std::vector<std::string> args;
        const char* busy; // the simulator's line that shows the command at work
        int signal;
        std::string out;   // found on standard output afterwards
        std::string err;   // found on standard error afterwards
        int settle_ms = 0; // the answer the simulator sent must reach the command first
    };
    ASSERT_EQ(RunCli({"monitor", "add", "198.18.1.2"}).exit_code, 0); // for watch
    const Case cases[] = {
        {"discover",
         {"discover", "-t", "60"},
         "REPLY 198.18.1.2",
         SIGINT,
         "020000000002",
         "Interrupted",
         1000},
        {"watch", {"watch", "--refresh", "1"}, "RX POLL", SIGTERM, "", "Stopped:"},
        {"set to an agent that does not answer the set",
         {"set", "198.18.1.4", "198.18.1.2", "--password", "pw", "--location", "x", "-t", "60"},
         "SILENT 198.18.1.4",
         SIGINT,
         "198.18.1.4  interrupted",
         "not tried: 198.18.1.2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t from = sim.Lines().size();
        QProcess p;
        Begin(p, c.args);
        p.closeWriteChannel();
        ASSERT_TRUE(sim.WaitForLine(c.busy, 10000, from));
        QThread::msleep(static_cast<unsigned long>(c.settle_ms));
        QElapsedTimer clock;
        clock.start();
        ::kill(static_cast<pid_t>(p.processId()), c.signal);
        ASSERT_TRUE(p.waitForFinished(5000));
        EXPECT_LT(clock.elapsed(), 4000);
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 130);
        const std::string out = p.readAllStandardOutput().toStdString();
        const std::string err = p.readAllStandardError().toStdString();
        EXPECT_NE(out.find(c.out), std::string::npos) << out;
        EXPECT_NE(err.find(c.err), std::string::npos) << err;
    }
}

TEST_F(CliLanTest, ASecondProgramOnThePortsIsToldWhoHoldsThem) {
    StartSim("ip=198.18.1.2 mac=020000000002 iface=3\n");
    ASSERT_EQ(RunCli({"monitor", "add", "198.18.1.2"}).exit_code, 0);
    QProcess first;
    Begin(first, {"watch", "--refresh", "1"});
    ASSERT_TRUE(sim.WaitForLine("RX POLL", 10000));
    const std::string pid = std::to_string(first.processId());
    for (const auto& args :
         {std::vector<std::string>{"watch"}, std::vector<std::string>{"discover", "-t", "1"}}) {
        SCOPED_TRACE(args[0]);
        const CliRun second = RunCli(args, {}, "", 10000);
        EXPECT_EQ(second.exit_code, 2) << second.err;
        EXPECT_NE(second.err.find("kestrel-cli (pid " + pid + ")"), std::string::npos)
            << second.err;
    }
    // A program killed outright leaves its lock behind; the next one takes it.
    ::kill(static_cast<pid_t>(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished(3000));
    const CliRun after = RunCli({"discover", "-t", "0.5", "--json"}, {}, "", 10000);
    EXPECT_EQ(after.exit_code, 0) << after.err;
    EXPECT_NE(after.out.find("020000000002"), std::string::npos) << after.out;
}

// The agents keep Latin-1; the command line speaks UTF-8.
TEST_F(CliLanTest, NamesBeyondAsciiGoBothWays) {
    StartSim("ip=198.18.1.2 mac=020000000002 iface=3 password=pw location=hall\n"
             "ip=198.18.1.3 mac=020000000003 iface=3 password=pw location=yard\n");
    const CliRun set = RunCli({"set", "198.18.1.2", "--password", "pw", "--system-name",
                               "B\xC3\xBCro-S\xC3\xBC"
                               "d"});
    ASSERT_EQ(set.exit_code, 0) << set.err;
    const std::size_t from = sim.Lines().size();
    ASSERT_TRUE(sim.Command("show 198.18.1.2"));
    const auto shown = sim.WaitForLine("AGENT", 2000, from);
    ASSERT_TRUE(shown);
    EXPECT_NE(shown->find("name=\"B\xFCro-S\xFC"
                          "d\""),
              std::string::npos)
        << *shown;

    const CliRun table = RunCli({"discover", "-t", "1"});
    ASSERT_EQ(table.exit_code, 0) << table.err;
    const QStringList lines = QString::fromUtf8(table.out).split(QLatin1Char('\n'));
    const auto column = lines[0].indexOf(QStringLiteral("Location"));
    int rows = 0;
    for (const QString& line : lines) {
        if (line.startsWith(QStringLiteral("02000000000"))) {
            ++rows;
            EXPECT_EQ(line.indexOf(QRegularExpression(QStringLiteral("hall|yard"))), column)
                << line.toStdString();
        }
    }
    EXPECT_EQ(rows, 2) << table.out;
    EXPECT_NE(table.out.find("B\xC3\xBCro-S\xC3\xBC"
                             "d"),
              std::string::npos)
        << table.out;

    const CliRun json = RunCli({"discover", "-t", "1", "--json"});
    ASSERT_EQ(json.exit_code, 0) << json.err;
    bool named = false;
    for (const QJsonValue& v : QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).array())
        named |= v[QStringLiteral("system_name")].toString() == QStringLiteral("Büro-Süd");
    EXPECT_TRUE(named) << json.out;
    const CliRun csv = RunCli({"discover", "-t", "1", "--csv"});
    EXPECT_NE(csv.out.find(",B\xC3\xBCro-S\xC3\xBC"
                           "d,"),
              std::string::npos)
        << csv.out;

    struct Refused {
        const char* what;
        std::vector<std::string> args;
        const char* err;
    };
    const Refused refused[] = {
        {"euro sign",
         {"set", "198.18.1.3", "--password", "pw", "--location", "5 \xE2\x82\xAC"},
         "'\xE2\x82\xAC' (U+20AC)"},
        {"CJK",
         {"set", "198.18.1.3", "--password", "pw", "--system-name", "\xE6\x9D\xB1"},
         "(U+6771)"},
        {"password", {"dhcp-refresh", "198.18.1.3", "--password", "p\xE2\x82\xAC"}, "U+20AC"},
    };
    const std::size_t before = sim.Lines().size();
    for (const Refused& r : refused) {
        SCOPED_TRACE(r.what);
        const CliRun run = RunCli(r.args);
        EXPECT_EQ(run.exit_code, 3) << run.err;
        EXPECT_NE(run.err.find(r.err), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("Latin-1"), std::string::npos) << run.err;
    }
    EXPECT_FALSE(sim.WaitForLine("SET 198.18.1.3", 200, before));
}

} // namespace
