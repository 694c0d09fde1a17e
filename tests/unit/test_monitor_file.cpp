#include "monitor/MonitorFile.h"

#include "ScratchDir.h"
#include "support/FakeNotifier.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

using namespace kestrel;

namespace {

using Bytes = std::vector<uint8_t>;

// Fixture records are written from the record layout, byte by byte, not by
// the program's own writer.
constexpr std::size_t kOffMac = 4;
constexpr std::size_t kOffProduct = 20;
constexpr std::size_t kOffIpText = 109;
constexpr std::size_t kOffIp = 232;
constexpr std::size_t kOffRowState = 256;
constexpr std::size_t kOffMissedPolls = 260;
constexpr std::size_t kOffStatusImage = 264;
constexpr std::size_t kOffReplyFlag = 268;
constexpr std::size_t kOffFieldMask = 284;

void PutText(Bytes& record, std::size_t offset, const std::string& text) {
    std::memcpy(record.data() + offset, text.data(), text.size());
}

void PutI32(Bytes& record, std::size_t offset, int32_t value) {
    const auto u = static_cast<uint32_t>(value);
    for (int b = 0; b < 4; ++b)
        record[offset + static_cast<std::size_t>(b)] = static_cast<uint8_t>(u >> (8 * b));
}

int32_t GetI32(const Bytes& bytes, std::size_t offset) {
    uint32_t u = 0;
    for (int b = 3; b >= 0; --b)
        u = (u << 8) | bytes[offset + static_cast<std::size_t>(b)];
    return static_cast<int32_t>(u);
}

struct Agent {
    std::string ip;
    std::string mac;
    int32_t status_image = -1;
};

Bytes RecordBytesFor(const Agent& a) {
    Bytes r(300, 0);
    PutText(r, kOffMac, a.mac);
    PutText(r, kOffIpText, a.ip);
    PutText(r, kOffProduct, "KS-8 " + a.ip);
    PutI32(r, kOffIp, 0x0A000000);
    PutI32(r, kOffRowState, 2);
    PutI32(r, kOffMissedPolls, 7);
    PutI32(r, kOffStatusImage, a.status_image);
    PutI32(r, kOffReplyFlag, 0);
    PutI32(r, kOffFieldMask, 0x1FF);
    r[254] = 0xAB; // spare bytes travel unchanged
    r[299] = 0xCD;
    return r;
}

Bytes FileOf(const std::vector<Agent>& agents) {
    Bytes file;
    for (const Agent& a : agents) {
        const Bytes r = RecordBytesFor(a);
        file.insert(file.end(), r.begin(), r.end());
    }
    return file;
}

Agent NumberedAgent(int i) {
    char ip[20], mac[16];
    std::snprintf(ip, sizeof ip, "10.%d.%d.1", i / 250, i % 250);
    std::snprintf(mac, sizeof mac, "0011220%05x", i);
    return {ip, mac, -1};
}

std::vector<Agent> NumberedAgents(int from, int count) {
    std::vector<Agent> agents;
    for (int i = from; i < from + count; ++i)
        agents.push_back(NumberedAgent(i));
    return agents;
}

Bytes BytesOf(const DeviceRecord& r) {
    const auto span = RecordBytes(r);
    return Bytes(span.begin(), span.end());
}

// Records every refresh and checks the table contract at the moment of the call.
class RecordingHooks : public ListHooks {
public:
    explicit RecordingHooks(const DeviceTable& t) : table(t) {}
    const DeviceTable& table;
    std::vector<int> monitor_refreshes;
    bool count_ahead_of_every_refresh = true;

    void RefreshMonitorRow(int i) override {
        monitor_refreshes.push_back(i);
        if (i >= table.count())
            count_ahead_of_every_refresh = false;
    }
    void RefreshDiscoveryRow(int) override { ADD_FAILURE() << "discovery list touched"; }
    void ClearDiscoveryRows() override { ADD_FAILURE() << "discovery list touched"; }
    void RemoveDiscoveryRow(std::string_view) override { ADD_FAILURE() << "row removed"; }
    void RemoveMonitorRow(std::string_view, std::string_view) override {
        ADD_FAILURE() << "row removed";
    }
    SelectionMemo RememberSelection() override { return {}; }
    void RestoreSelection(const SelectionMemo&) override {}
};

std::vector<int> Range(int from, int count) {
    std::vector<int> v;
    for (int i = from; i < from + count; ++i)
        v.push_back(i);
    return v;
}

class MonitorFileTest : public ::testing::Test {
protected:
    ScratchDir dir;
    DeviceTable monitor;
    RecordingHooks hooks{monitor};
    FakeNotifier notifier;

    std::filesystem::path Cfg() const { return MonitorFilePath(dir.path()); }

    bool StartUp() { return LoadMonitorAtStartUp(Cfg(), monitor, hooks, notifier); }

    // An agent already monitored, as the lists would hold it.
    void Monitor(const Agent& a) {
        DeviceRecord r = ZeroRecord();
        SetFieldText(r.ip_text, a.ip);
        SetFieldText(r.mac_text, a.mac);
        r.status_image = a.status_image;
        r.row_state = kRowKnown;
        monitor.Append(r);
    }

    std::vector<std::string> MonitoredIps() const {
        std::vector<std::string> ips;
        for (int i = 0; i < monitor.count(); ++i)
            ips.emplace_back(FieldText(monitor.records[static_cast<std::size_t>(i)].ip_text));
        return ips;
    }
};

const ShownMessage kConfigError{"Config File Error", "Error", MessageIcon::Error};
const ShownMessage kDuplicateIp{"Duplicate ip in monitor list", "Warning", MessageIcon::Warning};
const ShownMessage kDuplicateDevice{"Duplicate device in monitor list", "Warning",
                                    MessageIcon::Warning};
const ShownMessage kFull{"out of 256 device in monitor list", "Warning", MessageIcon::Warning};

TEST_F(MonitorFileTest, FileNameInCfgDirectory) {
    EXPECT_EQ(Cfg(), dir.path() / "monitor.cfg");
}

TEST_F(MonitorFileTest, StartUpLengthRules) {
    struct Case {
        const char* name;
        std::size_t bytes; // zero bytes beyond the valid records
        int records;
        bool error;
    };
    const Case cases[] = {{"empty file", 0, 0, false},
                          {"one byte short", 299, 0, true},
                          {"one record", 300, 1, false},
                          {"one byte over", 301, 0, true},
                          {"two records", 600, 2, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = FileOf(NumberedAgents(0, 2));
        file.resize(c.bytes);
        WriteAll(Cfg(), file);
        monitor.Clear();
        Monitor({"9.9.9.9", "", -1}); // what was there before is dropped
        hooks.monitor_refreshes.clear();
        notifier.shown.clear();

        EXPECT_EQ(StartUp(), !c.error);

        EXPECT_EQ(monitor.count(), c.records);
        EXPECT_EQ(hooks.monitor_refreshes, Range(0, c.records));
        EXPECT_EQ(notifier.shown,
                  c.error ? std::vector<ShownMessage>{kConfigError} : std::vector<ShownMessage>{});
        for (int i = c.records; i < kTableCapacity; ++i)
            ASSERT_EQ(BytesOf(monitor.records[static_cast<std::size_t>(i)]), Bytes(300, 0)) << i;
    }
}

TEST_F(MonitorFileTest, WhatIsNotARegularFileIsAConfigFileError) {
    // A FIFO would hang the start for ever, /dev/zero would give 256 blank
    // agents, a directory nothing at all: each is refused without reading.
    const struct {
        const char* name;
        std::function<void(const std::filesystem::path&)> make;
    } cases[] = {
        {"FIFO", [](const auto& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }},
        {"link to /dev/zero",
         [](const auto& p) { std::filesystem::create_symlink("/dev/zero", p); }},
        {"directory", [](const auto& p) { std::filesystem::create_directory(p); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(Cfg());
        c.make(Cfg());
        monitor.Clear();
        notifier.shown.clear();
        EXPECT_FALSE(StartUp());
        EXPECT_EQ(monitor.count(), 0);
        EXPECT_EQ(notifier.shown, std::vector<ShownMessage>{kConfigError});
        notifier.shown.clear();
        EXPECT_FALSE(AddMonitorFile(Cfg(), monitor, hooks, notifier));
        EXPECT_EQ(monitor.count(), 0);
        EXPECT_EQ(notifier.shown, std::vector<ShownMessage>{kConfigError});
    }
}

TEST_F(MonitorFileTest, SaveRemovesTemporariesLeftByAnInterruptedSaveOnly) {
    // A save killed before its rename leaves its temporary; the next save
    // removes it. One another writer still holds (locked) stays, and so do
    // files that only look alike.
    const auto left = dir / ".monitor.cfg.deadbeef.tmp";
    const auto held = dir / ".monitor.cfg.0badf00d.tmp";
    const auto other = dir / ".monitor.cfg.not-ours.tmp";
    const auto other_file = dir / ".other.cfg.12345678.tmp";
    for (const auto& p : {left, held, other, other_file})
        WriteAll(p, Bytes{1});
    const int fd = ::open(held.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);

    Monitor(NumberedAgent(1));
    ASSERT_TRUE(SaveMonitorFile(Cfg(), monitor, notifier));
    ::close(fd);

    EXPECT_FALSE(std::filesystem::exists(left));
    EXPECT_TRUE(std::filesystem::exists(held));
    EXPECT_TRUE(std::filesystem::exists(other));
    EXPECT_TRUE(std::filesystem::exists(other_file));
    EXPECT_EQ(ReadAll(Cfg()).size(), 300u);
}

TEST_F(MonitorFileTest, StartUpWithoutFileIsSilent) {
    EXPECT_TRUE(StartUp()); // no file yet is no error
    EXPECT_EQ(monitor.count(), 0);
    EXPECT_TRUE(hooks.monitor_refreshes.empty());
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(MonitorFileTest, StartUpLoadsAtMost256Records) {
    WriteAll(Cfg(), FileOf(NumberedAgents(0, 257)));
    EXPECT_TRUE(StartUp());
    EXPECT_EQ(monitor.count(), 256);
    EXPECT_EQ(hooks.monitor_refreshes, Range(0, 256));
    EXPECT_TRUE(hooks.count_ahead_of_every_refresh);
    EXPECT_TRUE(notifier.shown.empty());
    EXPECT_EQ(FieldText(monitor.records[255].ip_text), NumberedAgent(255).ip);
}

TEST_F(MonitorFileTest, StartUpResetsPollingStateAndKeepsEverythingElse) {
    const std::vector<Agent> agents = {{"10.0.0.1", "001122334455", 1},
                                       {"10.0.0.2", "001122334466", 0},
                                       {"10.0.0.3", "", -1},
                                       {"10.0.0.4", "001122334477", 42}};
    const Bytes file = FileOf(agents);
    WriteAll(Cfg(), file);
    StartUp();

    ASSERT_EQ(monitor.count(), 4);
    EXPECT_TRUE(hooks.count_ahead_of_every_refresh);
    const int32_t expected_image[] = {1, -1, -1, -1};
    for (std::size_t i = 0; i < agents.size(); ++i) {
        SCOPED_TRACE(agents[i].ip);
        const Bytes got = BytesOf(monitor.records[i]);
        EXPECT_EQ(GetI32(got, kOffRowState), 0);
        EXPECT_EQ(GetI32(got, kOffMissedPolls), 0);
        EXPECT_EQ(GetI32(got, kOffReplyFlag), 1);
        EXPECT_EQ(GetI32(got, kOffStatusImage), expected_image[i]);
        // Every byte outside the polling state is as stored.
        for (std::size_t b = 0; b < 300; ++b) {
            if (b >= kOffRowState && b < kOffReplyFlag + 4)
                continue;
            ASSERT_EQ(got[b], file[i * 300 + b]) << "byte " << b;
        }
    }
}

TEST_F(MonitorFileTest, UnterminatedTextsAreCutInsideTheirFields) {
    Bytes record = RecordBytesFor({"10.0.0.1", "001122334455", -1});
    std::memset(record.data() + kOffIpText, '7', 20); // ip_text without its NUL
    std::memset(record.data() + kOffProduct, 'P', 41);
    WriteAll(Cfg(), record);
    StartUp();
    ASSERT_EQ(monitor.count(), 1);
    EXPECT_EQ(FieldText(monitor.records[0].ip_text), std::string(19, '7'));
    EXPECT_EQ(FieldText(monitor.records[0].product_name), std::string(40, 'P'));
}

TEST_F(MonitorFileTest, NotAliveImageSurvivesARestart) {
    Monitor({"10.0.0.1", "001122334455", kImageNotAlive});
    Monitor({"10.0.0.2", "001122334466", kImageNone});
    ASSERT_TRUE(SaveMonitorFile(Cfg(), monitor, notifier));

    DeviceTable restarted;
    RecordingHooks restarted_hooks(restarted);
    EXPECT_TRUE(LoadMonitorAtStartUp(Cfg(), restarted, restarted_hooks, notifier));
    ASSERT_EQ(restarted.count(), 2);
    EXPECT_EQ(restarted.records[0].status_image, kImageNotAlive);
    EXPECT_EQ(restarted.records[1].status_image, kImageNone);
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(MonitorFileTest, SaveWritesTableOrderRecordByRecord) {
    for (const Agent& a : NumberedAgents(0, 3))
        Monitor(a);
    monitor.records[3] = monitor.records[0]; // stale bytes past count are not saved
    ASSERT_TRUE(SaveMonitorFile(Cfg(), monitor, notifier));
    const Bytes file = ReadAll(Cfg());
    ASSERT_EQ(file.size(), 900u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(Bytes(file.begin() + static_cast<long>(i * 300),
                        file.begin() + static_cast<long>((i + 1) * 300)),
                  BytesOf(monitor.records[i]));
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(MonitorFileTest, EmptyListSavesZeroBytesOverAnOldFile) {
    WriteAll(Cfg(), FileOf(NumberedAgents(0, 2)));
    ASSERT_TRUE(SaveMonitorFile(Cfg(), monitor, notifier));
    EXPECT_TRUE(std::filesystem::is_regular_file(Cfg()));
    EXPECT_EQ(std::filesystem::file_size(Cfg()), 0u);
}

TEST_F(MonitorFileTest, SaveLeavesNoTemporaryFileBehind) {
    Monitor(NumberedAgent(1));
    ASSERT_TRUE(SaveMonitorFile(Cfg(), monitor, notifier));
    ASSERT_TRUE(SaveMonitorFile(Cfg(), monitor, notifier));
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"monitor.cfg"});
}

// "Monitor save" replaces the file but not its permissions; the first save
// makes it 0666 less the umask.
TEST_F(MonitorFileTest, SaveKeepsTheFileMode) {
    const auto mode = [&] {
        struct stat st {};
        EXPECT_EQ(::stat(Cfg().c_str(), &st), 0);
        return st.st_mode & 07777;
    };
    Monitor(NumberedAgent(1));
    const mode_t old_umask = ::umask(027);
    const bool first = SaveMonitorFile(Cfg(), monitor, notifier);
    ::umask(022);
    ASSERT_TRUE(first);
    EXPECT_EQ(mode(), 0640u);
    for (const mode_t kept : {mode_t{0600}, mode_t{0640}, mode_t{0400}}) {
        ASSERT_EQ(::chmod(Cfg().c_str(), kept), 0);
        Monitor(NumberedAgent(2 + static_cast<int>(monitor.count())));
        ASSERT_TRUE(SaveMonitorFile(Cfg(), monitor, notifier));
        EXPECT_EQ(mode(), kept);
        EXPECT_EQ(ReadAll(Cfg()).size(), 300u * static_cast<std::size_t>(monitor.count()));
    }
    ::umask(old_umask);
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(MonitorFileTest, SaveIntoMissingDirectoryReportsAndWritesNothing) {
    Monitor(NumberedAgent(1));
    const auto target = MonitorFilePath(dir.path() / "cfg");
    EXPECT_FALSE(SaveMonitorFile(target, monitor, notifier));
    EXPECT_EQ(notifier.shown, (std::vector<ShownMessage>{{"Monitor save fail: " + target.string() +
                                                              "\nNo such file or directory",
                                                          "Error", MessageIcon::Error}}));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "cfg"));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(MonitorFileTest, FailedSaveKeepsTheOldTargetAndCleansUp) {
    // A directory where the file should go: the new file cannot take its place.
    std::filesystem::create_directory(Cfg());
    WriteAll(Cfg() / "inside", Bytes{1, 2, 3});
    Monitor(NumberedAgent(1));
    EXPECT_FALSE(SaveMonitorFile(Cfg(), monitor, notifier));
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_EQ(notifier.shown[0].caption, "Error");
    EXPECT_EQ(ReadAll(Cfg() / "inside"), (Bytes{1, 2, 3}));
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"monitor.cfg"});
}

TEST_F(MonitorFileTest, LoadOfTheFileJustSavedAddsNothing) {
    for (const Agent& a : NumberedAgents(0, 3))
        Monitor(a);
    ASSERT_TRUE(SaveMonitorFile(Cfg(), monitor, notifier));
    const Bytes before = BytesOf(monitor.records[0]);

    EXPECT_TRUE(AddMonitorFile(Cfg(), monitor, hooks, notifier));

    EXPECT_EQ(notifier.shown, std::vector<ShownMessage>(3, kDuplicateIp));
    EXPECT_EQ(monitor.count(), 3);
    EXPECT_TRUE(hooks.monitor_refreshes.empty());
    EXPECT_EQ(BytesOf(monitor.records[0]), before);
}

TEST_F(MonitorFileTest, LoadAppendsAfterTheMonitoredAgentsAndChecksDuplicates) {
    Monitor({"10.0.0.1", "aaaaaaaaaaaa", -1});
    WriteAll(Cfg(), FileOf({
                        {"10.0.0.2", "bbbbbbbbbbbb", 1},  // added, image kept
                        {"10.0.0.2", "cccccccccccc", -1}, // same IP as the one before
                        {"10.0.0.3", "aaaaaaaaaaaa", -1}, // monitored device under a new IP
                        {"10.0.0.4", "", -1},             // empty MACs never match
                        {"10.0.0.5", "", 0},
                    }));

    EXPECT_TRUE(AddMonitorFile(Cfg(), monitor, hooks, notifier));

    EXPECT_EQ(MonitoredIps(),
              (std::vector<std::string>{"10.0.0.1", "10.0.0.2", "10.0.0.4", "10.0.0.5"}));
    EXPECT_EQ(notifier.shown, (std::vector<ShownMessage>{kDuplicateIp, kDuplicateDevice}));
    EXPECT_EQ(hooks.monitor_refreshes, (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(hooks.count_ahead_of_every_refresh);
    const DeviceRecord& added = monitor.records[1];
    EXPECT_EQ(added.status_image, kImageNotAlive);
    EXPECT_EQ(added.row_state, kRowNew);
    EXPECT_EQ(added.missed_polls, 0);
    EXPECT_EQ(added.reply_flag, 1);
    EXPECT_EQ(added.field_mask[0], 0x1FFu);
    EXPECT_EQ(FieldText(added.mac_text), "bbbbbbbbbbbb");
    EXPECT_EQ(monitor.records[3].status_image, kImageNone); // no image 0 in the monitor list
}

TEST_F(MonitorFileTest, LoadOfBadLengthLeavesTheListAsItWas) {
    Monitor(NumberedAgent(0));
    Bytes file = FileOf(NumberedAgents(1, 2));
    file.push_back(0);
    WriteAll(Cfg(), file);
    EXPECT_FALSE(AddMonitorFile(Cfg(), monitor, hooks, notifier));
    EXPECT_EQ(notifier.shown, std::vector<ShownMessage>{kConfigError});
    EXPECT_EQ(monitor.count(), 1);
    EXPECT_TRUE(hooks.monitor_refreshes.empty());
}

TEST_F(MonitorFileTest, LoadOfUnreadableFileIsReported) {
    EXPECT_FALSE(AddMonitorFile(dir.path() / "missing.cfg", monitor, hooks, notifier));
    EXPECT_FALSE(AddMonitorFile(dir.path(), monitor, hooks, notifier)); // a directory
    EXPECT_EQ(notifier.shown, std::vector<ShownMessage>(2, kConfigError));
    EXPECT_EQ(monitor.count(), 0);
}

TEST_F(MonitorFileTest, LoadPast256StopsWithItsMessage) {
    for (const Agent& a : NumberedAgents(0, 250))
        Monitor(a);
    // Ten new agents, then one already monitored: six fit, the seventh stops the load.
    std::vector<Agent> file = NumberedAgents(250, 10);
    file.push_back(NumberedAgent(3));
    WriteAll(Cfg(), FileOf(file));
    const int32_t count_before = monitor.count();

    // A full list stops the load, but the file was taken.
    EXPECT_TRUE(AddMonitorFile(Cfg(), monitor, hooks, notifier));

    EXPECT_EQ(count_before, 250);
    EXPECT_EQ(monitor.count(), 256);
    EXPECT_EQ(hooks.monitor_refreshes, Range(250, 6));
    EXPECT_EQ(notifier.shown, std::vector<ShownMessage>{kFull});
    EXPECT_EQ(FieldText(monitor.records[255].ip_text), NumberedAgent(255).ip);

    // A full list takes nothing more, and still names duplicates as such.
    notifier.shown.clear();
    WriteAll(Cfg(), FileOf({NumberedAgent(0), NumberedAgent(400)}));
    EXPECT_TRUE(AddMonitorFile(Cfg(), monitor, hooks, notifier));
    EXPECT_EQ(monitor.count(), 256);
    EXPECT_EQ(notifier.shown, (std::vector<ShownMessage>{kDuplicateIp, kFull}));
}

TEST_F(MonitorFileTest, LoadReadsAtMost256RecordsOfAFile) {
    WriteAll(Cfg(), FileOf(NumberedAgents(0, 300)));
    EXPECT_TRUE(AddMonitorFile(Cfg(), monitor, hooks, notifier));
    EXPECT_EQ(monitor.count(), 256);
    EXPECT_TRUE(notifier.shown.empty()); // the rest of the file is never read
}

} // namespace
