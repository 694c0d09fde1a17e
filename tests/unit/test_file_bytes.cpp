// Reading only regular files, and replacing a file whole or not at all.

#include "protocol/files/FileBytes.h"

#include "ScratchDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <string>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace kestrel;

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<std::string> Names(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ReadFileBytes, TakesRegularFilesOnly) {
    ScratchDir dir;
    const auto file = dir / "f";
    const struct {
        const char* name;
        std::function<void()> make;
        std::size_t max;
        bool cut;
        ReadStatus status;
        Bytes bytes;
    } cases[] = {
        {"regular",
         [&] {
             WriteAll(file, {1, 2, 3});
         },
         3,
         false,
         ReadStatus::Ok,
         {1, 2, 3}},
        {"too large",
         [&] {
             WriteAll(file, {1, 2, 3, 4});
         },
         3,
         false,
         ReadStatus::TooLarge,
         {}},
        {"cut",
         [&] {
             WriteAll(file, {1, 2, 3, 4});
         },
         3,
         true,
         ReadStatus::Ok,
         {1, 2, 3}},
        {"missing", [] {}, 3, false, ReadStatus::Missing, {}},
        {"FIFO",
         [&] { ASSERT_EQ(mkfifo(file.c_str(), 0600), 0); },
         3,
         true,
         ReadStatus::NotRegular,
         {}},
        {"link to /dev/zero",
         [&] { std::filesystem::create_symlink("/dev/zero", file); },
         3,
         true,
         ReadStatus::NotRegular,
         {}},
        {"directory",
         [&] { std::filesystem::create_directory(file); },
         3,
         true,
         ReadStatus::NotRegular,
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(file);
        c.make();
        const FileRead read = ReadFileBytes(file, c.max, c.cut);
        EXPECT_EQ(read.status, c.status);
        EXPECT_EQ(read.bytes, c.bytes);
    }
}

TEST(ReplaceFileContents, ReplacesWholeAndLeavesNothingElse) {
    ScratchDir dir;
    const auto file = dir / "monitor.cfg";
    WriteAll(file, Bytes(600, 7));
    ASSERT_TRUE(ReplaceFileContents(file, Bytes(300, 9)));
    EXPECT_EQ(ReadAll(file), Bytes(300, 9));
    ASSERT_TRUE(ReplaceFileContents(file, Bytes{}));
    EXPECT_TRUE(ReadAll(file).empty());
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"monitor.cfg"});
}

TEST(ReplaceFileContents, ALinkKeepsPointingAtTheReplacedFile) {
    ScratchDir dir;
    const auto real = dir / "real.cfg";
    const auto link = dir / "link.cfg";
    WriteAll(real, {1});
    std::filesystem::create_symlink(real, link);
    ASSERT_TRUE(ReplaceFileContents(link, Bytes{2, 2}));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadAll(real), (Bytes{2, 2}));
}

TEST(ReplaceFileContents, AWriteThatFailsHalfWayLeavesTheOldFile) {
    // The disk "fills" after 1000 bytes: the file-size limit makes the
    // system refuse the rest, as a full disk would.
    ScratchDir dir;
    const auto file = dir / "define.ecf";
    WriteAll(file, Bytes(10, 1));
    rlimit old_limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old_limit;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool replaced = ReplaceFileContents(file, Bytes(5000, 2));
    setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);

    EXPECT_FALSE(replaced);
    EXPECT_EQ(ReadAll(file), Bytes(10, 1));
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"define.ecf"});
}

mode_t ModeOf(const std::filesystem::path& file) {
    struct stat st {};
    EXPECT_EQ(::stat(file.c_str(), &st), 0) << file;
    return st.st_mode & 07777;
}

// A replaced file keeps its permissions, also through a link; a new one
// gets 0666 less the umask.
TEST(ReplaceFileContents, KeepsTheModeOfTheFileItReplaces) {
    const struct {
        const char* name;
        mode_t old_mode; // 0: no file before
        mode_t umask;
        bool through_link;
        mode_t expected;
    } cases[] = {
        {"private", 0600, 022, false, 0600},
        {"group readable", 0640, 077, false, 0640},
        {"read-only", 0400, 022, false, 0400},
        {"wider than the umask", 0666, 077, false, 0666},
        {"private, through a link", 0600, 022, true, 0600},
        {"new, umask 022", 0, 022, false, 0644},
        {"new, umask 077", 0, 077, false, 0600},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        const auto file = dir / "monitor.cfg";
        if (c.old_mode != 0) {
            WriteAll(file, Bytes(300, 1));
            ASSERT_EQ(::chmod(file.c_str(), c.old_mode), 0);
        }
        const auto target = c.through_link ? dir / "link.cfg" : file;
        if (c.through_link)
            std::filesystem::create_symlink(file, target);
        const mode_t old_umask = ::umask(c.umask);
        const bool replaced = ReplaceFileContents(target, Bytes(600, 2));
        ::umask(old_umask);
        ASSERT_TRUE(replaced);
        EXPECT_EQ(ReadAll(file), Bytes(600, 2));
        EXPECT_EQ(ModeOf(file), c.expected);
    }
}

TEST(ReplaceFileContents, MissingDirectoryFailsAndCreatesNothing) {
    ScratchDir dir;
    EXPECT_FALSE(ReplaceFileContents(dir / "no" / "file", Bytes{1}));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

} // namespace
