// kestrel-cli's command line read the GNU way, its help per command, and
// the small rules every command shares (worst exit status, text encoding,
// table and CSV shapes). Nothing here runs a command or opens a socket.

#include "AgentText.h"
#include "CommandLine.h"
#include "ExitCodes.h"
#include "Output.h"
#include "WorstExit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kestrel::cli;

namespace {

ParsedCommandLine Parse(std::vector<const char*> words) {
    QStringList list{QStringLiteral("kestrel-cli")};
    for (const char* w : words)
        list << QString::fromUtf8(w);
    return ParseCommandLine(list);
}

TEST(CliCommandLine, OptionsAreReadBeforeAndAfterTheCommandInEveryForm) {
    const struct {
        std::vector<const char*> words;
        const char* command;
        std::vector<std::string> positional;
        std::string timeout; // "" when not given
        bool json;
        bool quiet;
    } cases[] = {
        {{"discover", "--json"}, "discover", {}, "", true, false},
        {{"--json", "discover"}, "discover", {}, "", true, false},
        {{"-j", "discover", "-q"}, "discover", {}, "", true, true},
        {{"-jq", "discover"}, "discover", {}, "", true, true},
        {{"--timeout", "2", "discover"}, "discover", {}, "2", false, false},
        {{"-t", "0.5", "set", "198.18.1.2"}, "set", {"198.18.1.2"}, "0.5", false, false},
        {{"set", "198.18.1.2", "--timeout=3", "198.18.1.3"},
         "set",
         {"198.18.1.2", "198.18.1.3"},
         "3",
         false,
         false},
        // A valued option of the command before the command's name.
        {{"--location", "hall", "set", "198.18.1.2"}, "set", {"198.18.1.2"}, "", false, false},
        {{"monitor", "list", "--json"}, "monitor", {"list"}, "", true, false},
        {{"set", "--", "-not-an-option"}, "set", {"-not-an-option"}, "", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words.front() + std::string(" ...") + c.command);
        const ParsedCommandLine p = Parse(c.words);
        ASSERT_EQ(p.kind, ParsedCommandLine::Kind::Run) << p.error;
        EXPECT_STREQ(p.command->name, c.command);
        EXPECT_EQ(p.args.positional, c.positional);
        EXPECT_EQ(p.args.Value("timeout").value_or(""), c.timeout);
        EXPECT_EQ(p.args.json(), c.json);
        EXPECT_EQ(p.args.quiet(), c.quiet);
    }
    const ParsedCommandLine set =
        Parse({"set", "x", "--system-name=B\xC3\xBCro", "--password", "a=b", "--targets", "-"});
    EXPECT_EQ(set.args.Text("system-name"), QStringLiteral("Büro"));
    EXPECT_EQ(set.args.Value("password"), "a=b");
    EXPECT_EQ(set.args.Value("targets"), "-");
    EXPECT_EQ(set.command->run, &RunSet);
}

TEST(CliCommandLine, MistakesAreUsageErrorsNamingTheCommand) {
    const struct {
        std::vector<const char*> words;
        const char* command; // nullptr: none known
        const char* error;
    } cases[] = {
        {{}, nullptr, "no command given"},
        {{"frob"}, nullptr, "unknown command frob"},
        {{"discover", "--bogus"}, "discover", "Unknown option 'bogus'"},
        {{"discover", "--json=yes"}, "discover", "Unexpected value after '--json'"},
        {{"discover", "--timeout"}, "discover", "Missing value after '--timeout'"},
        // Another command's option is not this one's.
        {{"discover", "--system-name", "x"}, "discover", "Unknown option 'system-name'"},
        {{"watch", "-x"}, "watch", "Unknown option 'x'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        const ParsedCommandLine p = Parse(c.words);
        EXPECT_EQ(p.kind, ParsedCommandLine::Kind::Error);
        EXPECT_EQ(p.command ? std::string(p.command->name) : "", c.command ? c.command : "");
        EXPECT_NE(p.error.find(c.error), std::string::npos) << p.error;
    }
}

TEST(CliCommandLine, HelpIsPerCommandAndListsItsOptions) {
    for (const auto& words :
         {std::vector<const char*>{"set", "--help"}, std::vector<const char*>{"-h", "set"},
          std::vector<const char*>{"help", "set"},
          std::vector<const char*>{"set", "--bogus", "--help"}}) {
        const ParsedCommandLine p = Parse(words);
        ASSERT_EQ(p.kind, ParsedCommandLine::Kind::Help);
        ASSERT_NE(p.command, nullptr);
        EXPECT_STREQ(p.command->name, "set");
    }
    const std::string set = CommandUsage(*FindCommand("set"));
    for (const char* word : {"Usage: kestrel-cli set TARGET...", "--system-name TEXT",
                             "--targets FILE", "--all-monitored", "--stop-on-failure", "-j, --json",
                             "-t, --timeout SECONDS", "-q, --quiet", "-v, --verbose", "TARGET...",
                             "KESTREL_CFG_DIR", "~/.config/kestrel-utility", "  130  ", "  8    "})
        EXPECT_NE(set.find(word), std::string::npos) << word;
    EXPECT_EQ(CommandUsage(*FindCommand("discover")).find("--system-name"), std::string::npos);
    EXPECT_NE(CommandUsage(*FindCommand("discover")).find("--csv"), std::string::npos);

    EXPECT_EQ(Parse({"--help"}).kind, ParsedCommandLine::Kind::Help);
    EXPECT_EQ(Parse({"--help"}).command, nullptr);
    EXPECT_EQ(Parse({"--version"}).kind, ParsedCommandLine::Kind::Version);
    EXPECT_EQ(Parse({"discover", "--version"}).kind, ParsedCommandLine::Kind::Version);
    const std::string all = ProgramUsage();
    for (const CommandEntry& c : AllCommands())
        EXPECT_NE(all.find(std::string("  ") + c.name + " "), std::string::npos) << c.name;
}

TEST(CliWorstExit, TheWorstAgentDecides) {
    const struct {
        std::vector<int> codes;
        int worst;
    } cases[] = {
        {{}, 0},        {{0, 0}, 0}, {{0, 4, 0}, 4},     {{5, 4}, 5},
        {{3, 8, 6}, 8}, {{8, 2}, 2}, {{2, 130, 8}, 130}, {{0, 1, 2}, 1},
    };
    for (const auto& c : cases) {
        WorstExit worst;
        for (const int code : c.codes)
            worst.Add(code);
        EXPECT_EQ(worst.code(), c.worst);
        EXPECT_EQ(worst.failed(), c.worst != 0);
    }
}

TEST(CliAgentText, Latin1IsStoredAndAnythingElseRefused) {
    EXPECT_EQ(ToAgentText(QStringLiteral("Büro-Süd"), "--system-name"), std::string("B\xFCro-S\xFC"
                                                                                    "d"));
    EXPECT_EQ(ToAgentText(QStringLiteral("ÿ"), "x"), std::string("\xFF"));
    EXPECT_EQ(ToAgentText(QStringLiteral("5 €"), "--location"), std::nullopt);
    EXPECT_EQ(FirstNonLatin1(QStringLiteral("東京")), U'東');
    // Beyond the 16-bit plane: one character, not two halves.
    EXPECT_EQ(FirstNonLatin1(QString::fromUtf8("a\xF0\x9F\x98\x80")), U'\U0001F600');
    EXPECT_EQ(FirstNonLatin1(QStringLiteral("plain")), std::nullopt);
}

TEST(CliOutput, TablesArePaddedByCharactersAndCsvIsQuoted) {
    const std::vector<std::string_view> titles = {"Name", "Place"};
    const std::vector<std::vector<std::string>> rows = {{"B\xFCro", "a,b"}, {"x", "say \"hi\""}};
    EXPECT_EQ(AlignedTable(titles, rows), "Name  Place\n"
                                          "B\xC3\xBCro  a,b\n"
                                          "x     say \"hi\"\n");
    EXPECT_EQ(CsvTable(titles, rows), "Name,Place\r\n"
                                      "B\xC3\xBCro,\"a,b\"\r\n"
                                      "x,\"say \"\"hi\"\"\"\r\n");
}

} // namespace
