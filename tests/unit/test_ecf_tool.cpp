// Runs the kestrel-ecf program itself: create, show, and its refusals.
#include "EcfFixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

using namespace ecf_fixture;

namespace {

struct ToolRun {
    int exit_code;
    std::string output; // stdout and stderr together
};

std::string Quoted(const std::string& s) {
    std::string q = "'";
    for (const char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

ToolRun Ecf(const std::string& args) {
    const std::string command = Quoted(KESTREL_ECF_BIN) + " " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return {-1, "popen failed"};
    std::string output;
    char buffer[256];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

TEST(EcfTool, CreateWithDefaultsThenShow) {
    TempDir dir;
    const std::string file = (dir / "define.ecf").string();
    const ToolRun created = Ecf("create " + Quoted(file));
    EXPECT_EQ(created.exit_code, 0) << created.output;
    EXPECT_EQ(ReadBytes(file), StoredFile(Body("4B455354", "1392", "239.255.255.250", '0', "120")));

    const ToolRun shown = Ecf("show " + Quoted(file));
    EXPECT_EQ(shown.exit_code, 0);
    EXPECT_EQ(shown.output, "utility_id            4B455354\n"
                            "base_port             5010\n"
                            "multicast_group       239.255.255.250\n"
                            "multicast_timer_flag  0\n"
                            "strlen_multi_timer    3\n"
                            "multicast_timer       120\n"
                            "checksum              ok\n");
}

TEST(EcfTool, CreateWithEveryOption) {
    TempDir dir;
    const std::string file = (dir / "define.ecf").string();
    const ToolRun created = Ecf("create " + Quoted(file) +
                                " --utility-id 0000002a --base-port 500 --group 239.001.002.003"
                                " --keepalive 1 --period 1225");
    ASSERT_EQ(created.exit_code, 0) << created.output;
    EXPECT_EQ(ReadBytes(file),
              StoredFile(Body("0000002A", "01F4", "239.001.002.003", '1', "1225")));
    const ToolRun shown = Ecf("show " + Quoted(file));
    EXPECT_NE(shown.output.find("utility_id            0000002A\n"), std::string::npos);
    EXPECT_NE(shown.output.find("base_port             500\n"), std::string::npos);
    EXPECT_NE(shown.output.find("multicast_timer       1225\n"), std::string::npos);
}

TEST(EcfTool, ShowReportsABadChecksum) {
    TempDir dir;
    const auto file = dir / "define.ecf";
    Bytes stored = StoredFile(Body("0000002A", "01F4", "239.255.255.250", '1', "300"));
    stored[0] = static_cast<uint8_t>(stored[0] + 1);
    WriteBytes(file, stored);
    const ToolRun shown = Ecf("show " + Quoted(file.string()));
    EXPECT_EQ(shown.exit_code, 1);
    EXPECT_NE(shown.output.find("checksum              bad\n"), std::string::npos);
    EXPECT_NE(shown.output.find("base_port             500\n"), std::string::npos);

    const ToolRun missing = Ecf("show " + Quoted((dir / "absent").string()));
    EXPECT_EQ(missing.exit_code, 1);
    EXPECT_NE(missing.output.find("no such file"), std::string::npos);
}

TEST(EcfTool, BadArgumentsAreRefusedWithoutWritingAFile) {
    TempDir dir;
    const std::string file = Quoted((dir / "define.ecf").string());
    const struct {
        std::string args;
        const char* says;
    } cases[] = {
        {"", "no command"},
        {"create", "no FILE"},
        {"frobnicate " + file, "unknown command"},
        {"show " + file + " extra", "only FILE"},
        {"create " + file + " --utility-id 2A", "8 hexadecimal digits"},
        {"create " + file + " --utility-id 0000002G", "8 hexadecimal digits"},
        {"create " + file + " --utility-id 000000002A", "8 hexadecimal digits"},
        {"create " + file + " --base-port 70000", "1 to 65529"},
        {"create " + file + " --base-port 0", "1 to 65529"},
        {"create " + file + " --base-port 50x", "1 to 65529"},
        // The program uses P+6: a higher base port would wrap.
        {"create " + file + " --base-port 65535", "1 to 65529"},
        {"create " + file + " --base-port 65530", "1 to 65529"},
        {"create " + file + " --group 224.0.0.1", "exactly 15 characters"},
        {"create " + file + " --group 10.000.000.001", "exactly 15 characters"},
        {"create " + file + " --group 239.255.255.2x0", "exactly 15 characters"},
        {"create " + file + " --keepalive 2", "0 or 1"},
        {"create " + file + " --period -5", "0 to 999999999"},
        {"create " + file + " --period 1000000000", "0 to 999999999"},
        {"create " + file + " --period", "needs a value"},
        {"create " + file + " --colour red", "unknown option"},
        {"--colour", "unknown option '--colour'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const ToolRun run = Ecf(c.args);
        EXPECT_EQ(run.exit_code, 2);
        EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("Try 'kestrel-ecf --help'"), std::string::npos);
    }
    EXPECT_TRUE(dir.Entries().empty());
}

} // namespace
