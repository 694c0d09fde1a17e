// kestrel-cli upgrade over a fleet of simulated agents: one transfer after
// another, each agent's verdict after its rediscovery, the worst agent's
// status, and interrupts that say what is known.

#include "CliLanFixture.h"
#include "FirmwareImages.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <csignal>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

// Each JSON line of standard output, by its target.
std::map<std::string, QJsonObject> VerdictsByTarget(const std::string& out) {
    std::map<std::string, QJsonObject> verdicts;
    for (const QByteArray& line : QByteArray::fromStdString(out).split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        verdicts[o[QStringLiteral("target")].toString().toStdString()] = o;
    }
    return verdicts;
}

std::string Str(const QJsonObject& o, const char* key) {
    return o[QLatin1String(key)].toString().toStdString();
}

int Occurrences(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class CliUpgradeFleetTest : public CliLanTest {
protected:
    std::string WriteImage(const std::vector<uint8_t>& image) {
        const std::string path = Path("fw.bin");
        QFile f(QString::fromStdString(path));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(image.data()), static_cast<qint64>(image.size()));
        return path;
    }
};

TEST_F(CliUpgradeFleetTest, TwentyAgentsTwoWrongPasswordsOneSilent) {
    // 198.18.1.1 ... .20; .5 and .12 keep another password, .17 is silent.
    std::string agents;
    std::vector<std::string> targets;
    for (int n = 1; n <= 20; ++n) {
        char line[160];
        std::snprintf(line, sizeof line,
                      "ip=198.18.1.%d mac=0200000000%02x iface=3 password=%s reboot=1%s\n", n, n,
                      n == 5 || n == 12 ? "other" : "pw", n == 17 ? " silent=1" : "");
        agents += line;
        targets.push_back("198.18.1." + std::to_string(n));
    }
    StartSim(agents);
    const std::vector<uint8_t> image = firmware_images::PatternImage(3000);
    const std::string fw = WriteImage(image);
    QFile list(QString::fromStdString(Path("fleet.txt")));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write("# the north hall\n");
    for (const std::string& t : targets)
        list.write((t + "\n").c_str());
    list.close();

    const CliRun r = RunCli({"upgrade", "--targets", Path("fleet.txt"), fw, "--password-env", "PW",
                             "--json", "--timeout", "1", "--no-log"},
                            {"PW=pw"}, "", 400000);
    EXPECT_EQ(r.exit_code, 5) << "the worst: a password refused\n" << r.err;

    const auto verdicts = VerdictsByTarget(r.out);
    ASSERT_EQ(verdicts.size(), 20u) << r.out;
    for (const std::string& t : targets) {
        ASSERT_TRUE(verdicts.contains(t)) << t;
        const QJsonObject& v = verdicts.at(t);
        if (t == "198.18.1.5" || t == "198.18.1.12") {
            EXPECT_EQ(Str(v, "outcome"), "agent-refused") << t;
            EXPECT_EQ(v[QStringLiteral("exit_code")].toInt(), 5) << t;
            EXPECT_NE(Str(v, "message").find("password error"), std::string::npos) << t;
            EXPECT_FALSE(v[QStringLiteral("image_stored")].toBool()) << t;
            EXPECT_EQ(sim.Count("TFTP " + t + " wrq"), 0) << t << ": nothing sent";
        } else if (t == "198.18.1.17") {
            EXPECT_EQ(Str(v, "outcome"), "not-found") << t;
            EXPECT_EQ(v[QStringLiteral("exit_code")].toInt(), 4) << t;
            EXPECT_NE(Str(v, "message").find("No agent answered at 198.18.1.17"), std::string::npos)
                << Str(v, "message");
        } else {
            EXPECT_EQ(Str(v, "outcome"), "ok") << t << " " << Str(v, "message");
            EXPECT_EQ(v[QStringLiteral("exit_code")].toInt(), 0) << t;
            EXPECT_EQ(Str(v, "message"), "Upgrade successful") << t;
            EXPECT_TRUE(v[QStringLiteral("image_stored")].toBool()) << t;
            EXPECT_EQ(v[QStringLiteral("bytes")].toInt(), 3000) << t;
            EXPECT_EQ(Str(v, "ip"), t);
            // What the agent stored is the image, byte for byte (size, blocks, hash).
            EXPECT_EQ(sim.Count(firmware_images::StoredText(t, image)), 1) << t;
            // Piped progress: exactly one line per tenth, ending at the size.
            EXPECT_EQ(Occurrences(r.err, t + ": Upgrade..."), 10) << t;
            EXPECT_EQ(Occurrences(r.err, t + ": Upgrade...100% 3000/3000 bytes\n"), 1) << t;
        }
    }
    // One transfer at a time: each write request follows the previous store.
    std::vector<std::string> tftp;
    for (const std::string& line : sim.Lines())
        if (line.rfind("TFTP ", 0) == 0 &&
            (line.find(" wrq ") != std::string::npos || line.find(" stored ") != std::string::npos))
            tftp.push_back(line.find(" wrq ") != std::string::npos ? "wrq" : "stored");
    ASSERT_EQ(tftp.size(), 34u);
    for (std::size_t i = 0; i < tftp.size(); ++i)
        EXPECT_EQ(tftp[i], i % 2 == 0 ? "wrq" : "stored") << i;
    EXPECT_NE(r.err.find("upgrade: 20 agents: 17 ok, 1 not-found, 2 agent-refused"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find('\r'), std::string::npos) << "no bar outside a terminal";
}

TEST_F(CliUpgradeFleetTest, AnInterruptExits130AndSaysWhatIsKnown) {
    // .2 stops answering the transfer at block 3; .3 completes it.
    StartSim("ip=198.18.1.2 mac=020000000002 iface=3 password=pw tftp_silent_at=3\n"
             "ip=198.18.1.3 mac=020000000003 iface=3 password=pw reboot=30\n"
             "ip=198.18.1.4 mac=020000000004 iface=3 password=pw\n");
    const std::vector<uint8_t> image = firmware_images::PatternImage(4000);
    const std::string fw = WriteImage(image);
    struct Case {
        const char* target;
        std::string wait_for; // the simulator's line after which SIGINT comes
        const char* said;
        bool stored;
    };
    const Case cases[] = {
        {"198.18.1.2", "ignored reason=silent-at",
         "interrupted before the last block was acknowledged: the image was not stored whole",
         false},
        // After the last acknowledgement, within the wait that follows it.
        {"198.18.1.3", firmware_images::StoredText("198.18.1.3", image),
         "interrupted after the last block was acknowledged: the image was stored; the agent may "
         "be rebooting",
         true},
    };
    for (const Case& c : cases) {
        QProcess p;
        Begin(p, {"upgrade", c.target, "198.18.1.4", fw, "--password", "pw", "--json", "--no-log"});
        p.closeWriteChannel();
        ASSERT_TRUE(sim.WaitForLine(c.wait_for, 20000)) << c.target;
        // The agent's last ACK leaves with its report line; let it arrive
        // (the finishing wait that follows lasts 5 s).
        if (c.stored)
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::kill(static_cast<pid_t>(p.processId()), SIGINT);
        ASSERT_TRUE(p.waitForFinished(5000)) << c.target;
        EXPECT_EQ(p.exitCode(), 130) << c.target;
        const std::string out = p.readAllStandardOutput().toStdString();
        const std::string err = p.readAllStandardError().toStdString();
        const auto verdicts = VerdictsByTarget(out);
        ASSERT_TRUE(verdicts.contains(c.target)) << out << err;
        const QJsonObject& v = verdicts.at(c.target);
        EXPECT_EQ(Str(v, "outcome"), "interrupted") << c.target;
        EXPECT_EQ(v[QStringLiteral("exit_code")].toInt(), 130) << c.target;
        EXPECT_EQ(Str(v, "message"), c.said) << c.target;
        EXPECT_EQ(v[QStringLiteral("image_stored")].toBool(), c.stored) << c.target;
        ASSERT_TRUE(verdicts.contains("198.18.1.4")) << out;
        EXPECT_EQ(Str(verdicts.at("198.18.1.4"), "outcome"), "skipped");
        EXPECT_EQ(Str(verdicts.at("198.18.1.4"), "message"), "not started: interrupted");
        EXPECT_NE(err.find("upgrade: 2 agents: 1 interrupted, 1 skipped"), std::string::npos)
            << err;
    }
    EXPECT_EQ(sim.Count("TFTP 198.18.1.4 wrq"), 0) << "nothing after the interrupt";
}

TEST_F(CliUpgradeFleetTest, OnATerminalTheBarReachesOneHundredPercent) {
    StartSim("ip=198.18.1.2 mac=020000000002 iface=3 password=pw reboot=1\n");
    const std::vector<uint8_t> image = firmware_images::PatternImage(3000);
    const std::string fw = WriteImage(image);
    // script(1) gives the command a terminal; what it shows comes back.
    QProcess p;
    p.setProcessEnvironment(Environment({}));
    p.start(QStringLiteral("script"),
            {QStringLiteral("-qec"),
             Cli() + QStringLiteral(" upgrade 198.18.1.2 ") + QString::fromStdString(fw) +
                 QStringLiteral(" --password pw --no-log"),
             QStringLiteral("/dev/null")});
    ASSERT_TRUE(p.waitForStarted(5000));
    p.closeWriteChannel();
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0);
    const std::string shown = p.readAllStandardOutput().toStdString();
    const std::string bar = "198.18.1.2: [";
    const auto last = shown.rfind("\r" + bar);
    ASSERT_NE(last, std::string::npos) << shown;
    const std::string full = "\r" + bar + std::string(40, '#') + "] 100% 3000/3000 bytes\r\n";
    EXPECT_EQ(shown.substr(last, full.size()), full) << shown;
    EXPECT_EQ(shown.find("bytes bytes"), std::string::npos) << shown;
    EXPECT_NE(shown.find("198.18.1.2  ok  Upgrade successful"), std::string::npos) << shown;
    EXPECT_EQ(sim.Count(firmware_images::StoredText("198.18.1.2", image)), 1);
}

TEST_F(CliUpgradeFleetTest, StopOnFailureLeavesTheRestAndAMissingFileSaysWhy) {
    StartSim("ip=198.18.1.2 mac=020000000002 iface=3 password=other\n"
             "ip=198.18.1.3 mac=020000000003 iface=3 password=pw\n");
    const std::string fw = WriteImage(firmware_images::PatternImage(1000));
    const CliRun r = RunCli({"upgrade", "198.18.1.2", "198.18.1.3", fw, "--password", "pw",
                             "--stop-on-failure", "--no-log"});
    EXPECT_EQ(r.exit_code, 5) << r.err;
    EXPECT_NE(r.out.find("198.18.1.2  agent-refused  "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("198.18.1.3  skipped  not started: an earlier agent failed"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(sim.Count("TRIGGER 198.18.1.3"), 0);

    struct Case {
        std::vector<std::string> args;
        int exit_code;
        const char* err;
    };
    const Case cases[] = {
        {{"upgrade", "198.18.1.3", fw, "--password", "pw", "--file", "/tmp/nonexist.cfg"},
         2,
         "/tmp/nonexist.cfg: No such file or directory"},
        {{"upgrade", "198.18.1.3", Path("none.bin"), "--password", "pw"},
         3,
         "Firmware file not found"},
        {{"upgrade", "--password", "pw"}, 1, "FILE, the firmware image, is missing"},
    };
    for (const Case& c : cases) {
        const CliRun e = RunCli(c.args);
        EXPECT_EQ(e.exit_code, c.exit_code) << e.err;
        EXPECT_NE(e.err.find(c.err), std::string::npos) << e.err;
        EXPECT_EQ(e.out, "");
    }
}

} // namespace
