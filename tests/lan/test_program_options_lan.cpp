// --help, --version and refused arguments of every program, run as the user
// would run them. Inside scripts/lan, though none of these opens a socket.

#include <QProcess>
#include <gtest/gtest.h>

#include <string>

namespace {

struct ProgramRun {
    int exit_code = -1;
    std::string out;
    std::string err;
};

ProgramRun Start(const char* program, const QStringList& args) {
    QProcess process;
    process.start(qEnvironmentVariable("KESTREL_BIN_DIR") + QStringLiteral("/") +
                      QString::fromUtf8(program),
                  args);
    if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), process.readAllStandardOutput().toStdString(),
            process.readAllStandardError().toStdString()};
}

TEST(ProgramOptions, HelpVersionAndUnknownOptionsOfEveryProgram) {
    const std::string version = KESTREL_VERSION;
    const struct {
        const char* program;
        const char* arg;
        int exit_code;
        std::string out; // found in standard output
        std::string err; // found in standard error; empty: nothing there
    } cases[] = {
        {"kestrel-utility", "--help", 0, "Usage: kestrel-utility [OPTION]", ""},
        {"kestrel-utility", "-h", 0, "~/.config/kestrel-utility", ""},
        {"kestrel-utility", "--version", 0, "kestrel-utility " + version + "\n", ""},
        {"kestrel-utility", "-v", 0, "kestrel-utility " + version + "\n", ""},
        {"kestrel-utility", "--frobnicate", 2, "",
         "kestrel-utility: unknown option '--frobnicate'\n"
         "Try 'kestrel-utility --help' for more information.\n"},
        {"kestrel-utility", "monitor.cfg", 2, "", "unexpected argument 'monitor.cfg'"},
        {"kestrel-ecf", "--help", 0, "Usage: kestrel-ecf show FILE", ""},
        {"kestrel-ecf", "--version", 0, "kestrel-ecf " + version + "\n", ""},
        {"kestrel-ecf", "--frobnicate", 2, "", "kestrel-ecf: unknown option '--frobnicate'"},
        {"kestrel-agent-sim", "--help", 0, "Usage: kestrel-agent-sim [OPTION]", ""},
        {"kestrel-agent-sim", "--version", 0, "kestrel-agent-sim " + version + "\n", ""},
        {"kestrel-agent-sim", "--frobnicate", 2, "",
         "unknown option '--frobnicate'\nTry 'kestrel-agent-sim --help'"},
        {"kestrel-igmp-report", "--help", 0, "Usage: kestrel-igmp-report GROUP CARD", ""},
        {"kestrel-igmp-report", "--version", 0, "kestrel-igmp-report " + version + "\n", ""},
        {"kestrel-igmp-report", "--frobnicate", 2, "",
         "kestrel-igmp-report: unknown option '--frobnicate'\n"
         "Try 'kestrel-igmp-report --help' for more information.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.program) + " " + c.arg);
        const ProgramRun run = Start(c.program, {QString::fromUtf8(c.arg)});
        EXPECT_EQ(run.exit_code, c.exit_code) << run.err;
        EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
        if (c.err.empty()) {
            EXPECT_EQ(run.err, "");
        } else {
            EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        }
        if (c.exit_code != 0) {
            EXPECT_EQ(run.out, "");
        }
    }
}

// The helper wants a group and a card; run by hand without them it says so.
TEST(ProgramOptions, IgmpHelperWantsAGroupAndACard) {
    const ProgramRun run = Start("kestrel-igmp-report", {});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("expects a multicast group and a network card"), std::string::npos)
        << run.err;
}

} // namespace
