// Loading, rewriting and creating define.ecf on disk.
#include "EcfFixture.h"
#include "protocol/settings/SettingsDefaults.h"
#include "protocol/settings/SettingsFile.h"
#include "support/FakeNotifier.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

using namespace kestrel;
using namespace ecf_fixture;

namespace {

const ShownMessage kChecksumError{"define.ecf checksum error", "file error", MessageIcon::Error};

ShownMessage Plain(const char* text) {
    return {text, std::string(kPlainCaption), MessageIcon::None};
}

std::string Timers(char flag, std::string_view timer) {
    return Body("0000002A", "01F4", "239.255.255.250", flag, timer);
}

class SettingsFileTest : public ::testing::Test {
protected:
    TempDir dir;
    std::filesystem::path file = dir / "define.ecf";
    FakeNotifier notifier;
};

TEST_F(SettingsFileTest, LoadsValuesAndDerivedPorts) {
    WriteBytes(file, StoredFile(Timers('1', "300")));
    ProtocolSettings s;
    ASSERT_TRUE(LoadSettingsFile(file, notifier, s));
    EXPECT_TRUE(notifier.shown.empty());
    EXPECT_EQ(s.utility_id, 42u);
    EXPECT_EQ(s.base_port, 500);
    EXPECT_EQ(s.BroadcastPort(), 500);
    EXPECT_EQ(s.UnicastPort(), 501);
    EXPECT_EQ(s.AgentPort(), 502);
    EXPECT_EQ(s.MulticastPort(), 506);
    EXPECT_EQ(s.multicast_group, "239.255.255.250");
    EXPECT_EQ(s.multicast_timer_flag, 1);
    EXPECT_EQ(s.multicast_timer, 300);
}

TEST_F(SettingsFileTest, NonHexIdentifierLoadsAsZeroWithoutMessage) {
    WriteBytes(file, StoredFile(Body("0000002G", "01F4", "239.255.255.250", '0', "120")));
    ProtocolSettings s;
    ASSERT_TRUE(LoadSettingsFile(file, notifier, s));
    EXPECT_TRUE(notifier.shown.empty());
    EXPECT_EQ(s.utility_id, 0u);
    EXPECT_EQ(s.base_port, 500);
    EXPECT_EQ(s.multicast_timer, 120);
}

TEST_F(SettingsFileTest, FailedLoadsShowAFileErrorAndLoadNothing) {
    const Bytes good = StoredFile(Timers('1', "300"));
    Bytes damaged = good;
    damaged[5] = static_cast<uint8_t>(damaged[5] + 1);
    Bytes long_file = StoredFile(std::string(300, 'x') + Timers('1', "300"));

    const struct {
        const char* name;
        std::function<void(const std::filesystem::path&)> make;
        ShownMessage message;
    } cases[] = {
        {"bad checksum", [&](const auto& p) { WriteBytes(p, damaged); }, kChecksumError},
        {"empty file", [&](const auto& p) { WriteBytes(p, {}); }, kChecksumError},
        {"one byte summing to 0xFF", [&](const auto& p) { WriteBytes(p, {0xFF}); }, kChecksumError},
        {"missing", [](const auto&) {}, {"define.ecf not found", "file error", MessageIcon::Error}},
        {"a directory",
         [](const auto& p) { std::filesystem::create_directory(p); },
         {"define.ecf open fail", "file error", MessageIcon::Error}},
        {"longer than 256 bytes",
         [&](const auto& p) { WriteBytes(p, long_file); },
         {"file size too large", "file error", MessageIcon::Error}},
        {"a FIFO (would block the start forever)",
         [](const auto& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); },
         {"define.ecf open fail", "file error", MessageIcon::Error}},
        // P+6 would wrap to a low port, 0 would bind random ports.
        {"base port 65535",
         [](const auto& p) {
             WriteBytes(p, StoredFile(Body("0000002A", "FFFF", "239.255.255.250", '0', "120")));
         },
         {"define.ecf base port 65535 is out of range: the program uses it and the six ports "
          "after it, so it must be 1 to 65529",
          "file error", MessageIcon::Error}},
        {"base port 65530",
         [](const auto& p) {
             WriteBytes(p, StoredFile(Body("0000002A", "FFFA", "239.255.255.250", '0', "120")));
         },
         {"define.ecf base port 65530 is out of range: the program uses it and the six ports "
          "after it, so it must be 1 to 65529",
          "file error", MessageIcon::Error}},
        {"base port 0",
         [](const auto& p) {
             WriteBytes(p, StoredFile(Body("0000002A", "0000", "239.255.255.250", '0', "120")));
         },
         {"define.ecf base port 0 is out of range: the program uses it and the six ports "
          "after it, so it must be 1 to 65529",
          "file error", MessageIcon::Error}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir d;
        const auto path = d / "define.ecf";
        c.make(path);
        FakeNotifier n;
        ProtocolSettings s;
        s.utility_id = 7;
        EXPECT_FALSE(LoadSettingsFile(path, n, s));
        EXPECT_EQ(n.shown, std::vector<ShownMessage>{c.message});
        EXPECT_EQ(s.utility_id, 7u);
        EXPECT_EQ(s.base_port, 0);
        EXPECT_EQ(s.multicast_group, "");
    }
}

TEST_F(SettingsFileTest, HighestBasePortThatFitsLoads) {
    WriteBytes(file, StoredFile(Body("0000002A", "FFF9", "239.255.255.250", '0', "120")));
    ProtocolSettings s;
    ASSERT_TRUE(LoadSettingsFile(file, notifier, s));
    EXPECT_EQ(s.base_port, 65529);
    EXPECT_EQ(s.MulticastPort(), 65535);
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(SettingsFileTest, FileOfExactly256BytesLoads) {
    // Pad the free name of entry 1 so the stored file is exactly 256 bytes.
    const std::string body = Timers('0', "120");
    const std::string padded = std::string(256 - 2 - body.size(), 'n') + body;
    const Bytes stored = StoredFile(padded);
    ASSERT_EQ(stored.size(), 256u);
    WriteBytes(file, stored);
    ProtocolSettings s;
    EXPECT_TRUE(LoadSettingsFile(file, notifier, s));
    EXPECT_EQ(s.utility_id, 42u);
}

TEST_F(SettingsFileTest, Rewriting1200OverZeroGivesLengthDigitFour) {
    WriteBytes(file, StoredFile(Timers('0', "0")));
    ASSERT_TRUE(SaveMulticastTimer(file, "1200", '1', notifier));
    EXPECT_TRUE(notifier.shown.empty());

    const Bytes stored = ReadBytes(file);
    // Every byte of the new body is scrambled, then the trailer follows.
    EXPECT_EQ(stored, StoredFile(Timers('1', "1200")));
    EXPECT_EQ(UnscrambleBytes(Bytes(stored.begin(), stored.end() - 2)), Timers('1', "1200"));
    EXPECT_EQ(ChecksumByFormula(stored), 0xFF);

    ProtocolSettings s;
    ASSERT_TRUE(LoadSettingsFile(file, notifier, s));
    EXPECT_EQ(s.multicast_timer, 1200);
    EXPECT_EQ(s.multicast_timer_flag, 1);
    EXPECT_EQ(s.utility_id, 42u);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"define.ecf"});
}

TEST_F(SettingsFileTest, RewritingZeroWritesFlagZeroLengthOneValueZero) {
    WriteBytes(file, StoredFile(Timers('1', "1200")));
    ASSERT_TRUE(SaveMulticastTimer(file, "0", '0', notifier));
    EXPECT_EQ(ReadBytes(file), StoredFile(Timers('0', "0")));
}

TEST_F(SettingsFileTest, RewriteDropsEverythingAfterEntrySix) {
    Bytes stored = ScrambleText(Timers('0', "120") + "trailing junk");
    stored.push_back(0x80);
    WriteBytes(file, stored);
    ASSERT_TRUE(SaveMulticastTimer(file, "300", '1', notifier));
    // The old file had no valid trailer: reported, then repaired.
    EXPECT_EQ(notifier.shown, std::vector<ShownMessage>{Plain("define.ecf checksum error")});
    EXPECT_EQ(ReadBytes(file), StoredFile(Timers('1', "300")));
}

TEST_F(SettingsFileTest, FailedRewritesLeaveTheOldFileAndNoTemporary) {
    // Free names padded so that the grown body passes the 1024-byte limit.
    const std::string big_body =
        std::string(1022 - Timers('0', "0").size(), 'n') + Timers('0', "0");
    const Bytes big = StoredFile(big_body);
    EXPECT_EQ(big.size(), 1024u);
    const Bytes no_keys = StoredFile("utility_id=0000002A\r\nbase_port=01F4\r\n");

    const struct {
        const char* name;
        Bytes old_file;
        std::function<void(const TempDir&)> prepare;
        std::vector<ShownMessage> messages;
        std::vector<std::string> entries;
    } cases[] = {
        {"new body over 1024 bytes",
         big,
         [](const TempDir&) {},
         {Plain("file size too large")},
         {"define.ecf"}},
        {"keys missing",
         no_keys,
         [](const TempDir&) {},
         {Plain("define.ecf format error")},
         {"define.ecf"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir d;
        const auto path = d / "define.ecf";
        WriteBytes(path, c.old_file);
        c.prepare(d);
        FakeNotifier n;
        EXPECT_FALSE(SaveMulticastTimer(path, "1200", '1', n));
        EXPECT_EQ(n.shown, c.messages);
        EXPECT_EQ(ReadBytes(path), c.old_file);
        EXPECT_EQ(d.Entries(), c.entries);
    }
}

TEST_F(SettingsFileTest, RewriteOfMissingFileFailsWithMessage) {
    EXPECT_FALSE(SaveMulticastTimer(file, "120", '1', notifier));
    EXPECT_EQ(notifier.shown, std::vector<ShownMessage>{Plain("open file fail")});
    EXPECT_TRUE(dir.Entries().empty());
}

TEST_F(SettingsFileTest, RewriteInUnwritableDirectoryLeavesOldFile) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes anywhere";
    const Bytes old_file = StoredFile(Timers('0', "120"));
    WriteBytes(file, old_file);
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    EXPECT_FALSE(SaveMulticastTimer(file, "1200", '1', notifier));
    EXPECT_EQ(notifier.shown, std::vector<ShownMessage>{Plain("ECF File created fail")});
    EXPECT_EQ(ReadBytes(file), old_file);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"define.ecf"});
}

TEST_F(SettingsFileTest, RewriteRefusesInvalidArgumentsWithoutTouchingTheFile) {
    const Bytes old_file = StoredFile(Timers('0', "120"));
    WriteBytes(file, old_file);
    EXPECT_FALSE(SaveMulticastTimer(file, "", '1', notifier));
    EXPECT_FALSE(SaveMulticastTimer(file, "12x", '1', notifier));
    EXPECT_FALSE(SaveMulticastTimer(file, "1234567890", '1', notifier));
    EXPECT_FALSE(SaveMulticastTimer(file, "120", '=', notifier));
    EXPECT_TRUE(notifier.shown.empty());
    EXPECT_EQ(ReadBytes(file), old_file);
}

TEST_F(SettingsFileTest, AppendChecksumMakesTheFileSumTo0xFF) {
    const Bytes body = {0x30, 0x07};
    WriteBytes(file, body);
    ASSERT_TRUE(AppendSettingsChecksum(file, notifier));
    EXPECT_EQ(ReadBytes(file), (Bytes{0x30, 0x07, 0xC8, 0xFF}));

    WriteBytes(file, Bytes(1025, 'a'));
    EXPECT_FALSE(AppendSettingsChecksum(file, notifier));
    EXPECT_EQ(ReadBytes(file).size(), 1025u);
    EXPECT_FALSE(AppendSettingsChecksum(dir / "absent", notifier));
    EXPECT_EQ(notifier.shown,
              (std::vector<ShownMessage>{Plain("file size too large"), Plain("open file fail")}));
}

TEST_F(SettingsFileTest, CreatedFileIsTheScrambledBodyAndRoundTrips) {
    ProtocolSettings v;
    v.utility_id = 0x0000002A;
    v.base_port = 500;
    v.multicast_group = "239.001.002.003";
    v.multicast_timer_flag = 1;
    v.multicast_timer = 1225;
    ASSERT_TRUE(CreateSettingsFile(file, v));
    const Bytes stored = ReadBytes(file);
    EXPECT_EQ(UnscrambleBytes(Bytes(stored.begin(), stored.end() - 2)),
              "utility_id=0000002A\r\nbase_port=01F4\r\nmulticast_group=239.001.002.003\r\n"
              "multicast_timer_flag=1\r\nstrlen_multi_timer=4\r\nmulticast_timer=1225\r\n");
    EXPECT_EQ(ChecksumByFormula(stored), 0xFF);

    ProtocolSettings loaded;
    ASSERT_TRUE(LoadSettingsFile(file, notifier, loaded));
    EXPECT_EQ(loaded.utility_id, v.utility_id);
    EXPECT_EQ(loaded.base_port, v.base_port);
    EXPECT_EQ(loaded.multicast_group, v.multicast_group);
    EXPECT_EQ(loaded.multicast_timer_flag, v.multicast_timer_flag);
    EXPECT_EQ(loaded.multicast_timer, v.multicast_timer);
    EXPECT_TRUE(notifier.shown.empty());
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"define.ecf"});
}

// Every writer of define.ecf replaces the file but not its permissions.
TEST_F(SettingsFileTest, WritersKeepAPrivateFilePrivate) {
    const struct {
        const char* name;
        std::function<bool(const std::filesystem::path&, FakeNotifier&)> write;
    } writers[] = {
        {"group interval rewrite",
         [](const auto& path, FakeNotifier& n) { return SaveMulticastTimer(path, "300", '1', n); }},
        {"checksum",
         [](const auto& path, FakeNotifier& n) { return AppendSettingsChecksum(path, n); }},
        {"create", [](const auto& path,
                      FakeNotifier&) { return CreateSettingsFile(path, DefaultSettings()); }},
    };
    const mode_t old_umask = ::umask(022);
    for (const auto& w : writers) {
        for (const mode_t mode : {mode_t{0600}, mode_t{0640}}) {
            SCOPED_TRACE(std::string(w.name) + " " + std::to_string(mode));
            TempDir d;
            const auto path = d / "define.ecf";
            WriteBytes(path, StoredFile(Timers('0', "120")));
            ASSERT_EQ(::chmod(path.c_str(), mode), 0);
            FakeNotifier n;
            EXPECT_TRUE(w.write(path, n));
            struct stat st {};
            ASSERT_EQ(::stat(path.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, mode);
        }
    }
    ::umask(old_umask);
}

TEST_F(SettingsFileTest, CreateRefusesInvalidValuesAndKeepsTheOldFile) {
    ASSERT_TRUE(CreateSettingsFile(file, DefaultSettings()));
    const Bytes before = ReadBytes(file);
    ProtocolSettings v = DefaultSettings();
    v.multicast_group = "224.0.0.1";
    EXPECT_FALSE(CreateSettingsFile(file, v));
    EXPECT_EQ(ReadBytes(file), before);
    EXPECT_FALSE(CreateSettingsFile(dir / "no-such-dir" / "define.ecf", DefaultSettings()));
}

} // namespace
