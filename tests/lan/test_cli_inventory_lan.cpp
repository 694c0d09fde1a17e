// kestrel-cli monitor export/import (the monitor list as text for version
// control) and inventory diff (a discovery against a saved inventory), end
// to end with files the user names.

#include "CliLanFixture.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

void Put(std::string& b, std::size_t offset, const std::string& text) {
    b.replace(offset, text.size(), text);
}
void PutU32(std::string& b, std::size_t offset, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[offset + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
}

// A monitor.cfg record as the window saved it, with its run-time state and
// the bytes a shorter name left behind.
std::string Record(const std::string& mac, const std::string& ip, uint32_t ip_number,
                   const std::string& name) {
    std::string b(300, '\0');
    PutU32(b, 0, 0x4B455354);
    Put(b, 4, mac);
    Put(b, 20, "KS-2400");
    Put(b, 61, name);
    Put(b, 61 + name.size() + 1, "stale");
    Put(b, 82, "hall");
    Put(b, 109, ip);
    Put(b, 129, "198.18.0.1");
    Put(b, 149, "255.254.0.0");
    Put(b, 169, "198.18.0.254");
    PutU32(b, 232, ip_number);
    PutU32(b, 236, 0xC6120001);
    PutU32(b, 240, 0xFFFE0000);
    PutU32(b, 244, 0xC61200FE);
    PutU32(b, 256, 1);
    PutU32(b, 260, 3);
    PutU32(b, 264, 1); // not alive
    b[274] = 2;
    b[276] = 3;
    b[278] = 1;
    PutU32(b, 284, 0x2003FF);
    return b;
}

class CliInventoryTest : public CliLanTest {
protected:
    void Write(const std::string& path, const std::string& bytes) {
        QFile f(QString::fromStdString(path));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }
};

TEST_F(CliInventoryTest, ExportThenImportLeavesMonitorCfgByteForByte) {
    const std::string monitor = Path("monitor.cfg");
    const std::string known = Record("020000000002", "198.18.1.2", 0xC6120102, "north") +
                              Record("020000000003", "198.18.1.3", 0xC6120103, "south");
    Write(monitor, known);
    struct Case {
        const char* form;
        std::vector<std::string> export_args;
    };
    const Case cases[] = {{"json", {"monitor", "export", "--json"}},
                          {"lines", {"monitor", "export"}}};
    for (const Case& c : cases) {
        const CliRun out = RunCli(c.export_args);
        ASSERT_EQ(out.exit_code, 0) << out.err;
        EXPECT_NE(out.out.find("198.18.1.3"), std::string::npos) << out.out;
        const std::string text = Path(c.form);
        Write(text, out.out);
        const CliRun in = RunCli({"monitor", "import", text});
        EXPECT_EQ(in.exit_code, 0) << c.form << ": " << in.err;
        EXPECT_EQ(ReadFile(monitor), known) << c.form;
    }

    // An edit in the text changes that field's bytes only.
    std::string json = RunCli({"monitor", "export", "--json"}).out;
    const auto at = json.find("\"north\"");
    ASSERT_NE(at, std::string::npos) << json;
    json.replace(at, 7, "\"nord\"");
    Write(Path("edited.json"), json);
    ASSERT_EQ(RunCli({"monitor", "import", Path("edited.json")}).exit_code, 0);
    std::string renamed = known;
    std::memset(renamed.data() + 61, 0, 21);
    Put(renamed, 61, "nord");
    EXPECT_EQ(ReadFile(monitor), renamed);

    // CSV of the list, for spreadsheets.
    const CliRun csv = RunCli({"monitor", "list", "--csv"});
    EXPECT_EQ(csv.exit_code, 0) << csv.err;
    EXPECT_EQ(csv.out.rfind("S,IP Address,MAC Address,", 0), 0u) << csv.out;
    EXPECT_NE(csv.out.find("X,198.18.1.2,020000000002,"), std::string::npos) << csv.out;
}

TEST_F(CliInventoryTest, FilesThatAreNotThereOrWrongAreErrorsAndChangeNothing) {
    const std::string monitor = Path("monitor.cfg");
    const std::string known = Record("020000000002", "198.18.1.2", 0xC6120102, "north");
    Write(monitor, known);
    Write(Path("bad.json"), R"([{"ip":"198.18.1.4"},{"ip":"198.18.1.300","location":"x"}])");
    Write(Path("long.json"), R"([{"ip":"198.18.1.4","system_name":"a name over twenty chars"}])");
    Write(Path("euro.json"), R"([{"ip":"198.18.1.4","location":"Lager €"}])");
    ASSERT_TRUE(QDir(cfg.path()).mkdir(QStringLiteral("folder")));
    struct Case {
        std::vector<std::string> args;
        int exit_code;
        std::string err;
    };
    const Case cases[] = {
        {{"monitor", "list", "--file", "/tmp/nonexist.cfg"},
         2,
         "/tmp/nonexist.cfg: No such file or directory"},
        {{"monitor", "export", "--file", "/tmp/nonexist.cfg"},
         2,
         "/tmp/nonexist.cfg: No such file or directory"},
        {{"monitor", "import", "/nonexistent.cfg"},
         2,
         "/nonexistent.cfg: No such file or directory"},
        {{"monitor", "import", "/nonexistent.json"},
         2,
         "/nonexistent.json: No such file or directory"},
        {{"monitor", "import", Path("folder")}, 2, Path("folder") + ": Is a directory"},
        {{"monitor", "import", Path("bad.json")},
         3,
         Path("bad.json") + ": record 2: ip: \"198.18.1.300\" is no legal host address"},
        {{"monitor", "import", Path("long.json")},
         3,
         "record 1: system_name: longer than 20 characters"},
        {{"monitor", "import", Path("euro.json")},
         3,
         "record 1: location: a character beyond Latin-1"},
    };
    for (const Case& c : cases) {
        const CliRun r = RunCli(c.args);
        EXPECT_EQ(r.exit_code, c.exit_code) << c.args[1] << " " << c.args.back() << ": " << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "") << c.args.back();
        EXPECT_EQ(ReadFile(monitor), known) << "nothing written: " << c.args.back();
    }
}

TEST_F(CliInventoryTest, DiffTellsNewMissingAndChangedAgents) {
    StartSim("ip=198.18.1.2 mac=020000000002 iface=3 name=north product=KS location=hall\n"
             "ip=198.18.1.3 mac=020000000003 iface=3 name=south product=KS location=hall\n"
             "ip=198.18.1.4 mac=020000000004 iface=3 name=east product=KS location=hall\n");
    const CliRun saved = RunCli({"discover", "--json", "--timeout", "1"});
    ASSERT_EQ(saved.exit_code, 0) << saved.err;
    Write(Path("saved.json"), saved.out);
    const CliRun same = RunCli({"inventory", "diff", Path("saved.json"), "--timeout", "1"});
    EXPECT_EQ(same.exit_code, 0) << same.out << same.err;
    EXPECT_EQ(same.out, "");

    // The next day: .2 has new firmware (another interface version) and a new name, .3 is gone, .4
    // moved to another address, .5 is new.
    sim.Stop();
    kestrel::test::SimProcess changed;
    ASSERT_TRUE(changed.Start(
        {.agents = "ip=198.18.1.2 mac=020000000002 iface=2 name=nord product=KS location=hall\n"
                   "ip=198.18.1.14 mac=020000000004 iface=3 name=east product=KS location=hall\n"
                   "ip=198.18.1.5 mac=020000000005 iface=3 name=west product=KS location=hall\n",
         .count = 0,
         .args = {}}))
        << changed.Error();
    const CliRun text = RunCli({"inventory", "diff", Path("saved.json"), "--timeout", "1"});
    EXPECT_EQ(text.exit_code, 1) << text.err;
    for (const char* line : {"changed 020000000002  198.18.1.2  version: 2.001.003 -> 2.001.002\n",
                             "changed 020000000002  198.18.1.2  system_name: north -> nord\n",
                             "missing 020000000003  198.18.1.3  south\n",
                             "changed 020000000004  198.18.1.14  ip: 198.18.1.4 -> 198.18.1.14\n",
                             "new     020000000005  198.18.1.5  west\n"})
        EXPECT_NE(text.out.find(line), std::string::npos) << line << "in:\n" << text.out;
    EXPECT_EQ(std::count(text.out.begin(), text.out.end(), '\n'), 5) << text.out;

    const CliRun json = RunCli({"inventory", "diff", Path("saved.json"), "-t", "1", "--json"});
    EXPECT_EQ(json.exit_code, 1) << json.err;
    const QJsonArray changes = QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).array();
    ASSERT_EQ(changes.size(), 4) << json.out;
    std::map<std::string, std::string> kinds;
    for (const QJsonValue& c : changes)
        kinds[c[QStringLiteral("mac")].toString().toStdString()] =
            c[QStringLiteral("change")].toString().toStdString();
    EXPECT_EQ(kinds, (std::map<std::string, std::string>{{"020000000002", "changed"},
                                                         {"020000000003", "missing"},
                                                         {"020000000004", "changed"},
                                                         {"020000000005", "new"}}));

    // 1 above means only "they differ": a usage error is trouble, 2, as
    // diff(1) has it, and prints only its message.
    Write(Path("words.txt"), "hello\n");
    struct Case {
        std::vector<std::string> args;
        int exit_code;
        const char* err;
    };
    const Case cases[] = {
        {{"inventory", "diff"}, 2, "inventory diff SAVED.json"},
        {{"inventory", "diff", "a.json", "--bogus"}, 2, "Unknown option"},
        {{"inventory", "diff", "/nonexistent.json"}, 2, "/nonexistent.json: No such file"},
        {{"inventory", "diff", Path("words.txt")}, 2, "no header line naming the columns"},
    };
    for (const Case& c : cases) {
        const CliRun r = RunCli(c.args);
        EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

} // namespace
