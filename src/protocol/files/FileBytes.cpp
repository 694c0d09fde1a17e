#include "protocol/files/FileBytes.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <random>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrel {

namespace fs = std::filesystem;

namespace {

// Closes a descriptor on every way out.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }

private:
    int fd_;
};

bool WriteAll(int fd, std::span<const uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return true;
}

constexpr std::string_view kTempSuffix = ".tmp";
constexpr std::size_t kTokenDigits = 8;

std::string TempPrefix(const fs::path& target) {
    return "." + target.filename().string() + ".";
}

bool IsOurTemporary(const std::string& name, const std::string& prefix) {
    if (name.size() != prefix.size() + kTokenDigits + kTempSuffix.size() ||
        name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - kTempSuffix.size(), kTempSuffix.size(), kTempSuffix) != 0)
        return false;
    for (std::size_t i = prefix.size(); i < prefix.size() + kTokenDigits; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}

// A writer holds a lock on its temporary until the rename; one nobody holds
// was left by a save that never finished (a crash, a kill).
void RemoveStaleTemporaries(const fs::path& dir, const fs::path& target) {
    const std::string prefix = TempPrefix(target);
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path path = it->path();
        if (!IsOurTemporary(path.filename().string(), prefix))
            continue;
        const Fd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st {};
        if (!fd.ok() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.c_str());
    }
}

// Creates and locks a new temporary file beside the target.
int CreateTemporary(const fs::path& dir, const fs::path& target, fs::path& created) {
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char token[kTokenDigits + 1];
        std::snprintf(token, sizeof token, "%08x", static_cast<unsigned>(random()));
        created = dir / (TempPrefix(target) + token + std::string(kTempSuffix));
        const int fd = ::open(created.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::flock(fd, LOCK_EX);
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    return -1;
}

// The replacement takes the permissions of the file it replaces, so that a
// file kept private (0600) stays so; a new file has the usual ones (0666
// less the umask), as the temporary was created. False when they cannot be
// set: saving would widen them.
bool KeepMode(const fs::path& target, int temp_fd) {
    struct stat old_file {};
    struct stat temp {};
    if (::stat(target.c_str(), &old_file) != 0 || !S_ISREG(old_file.st_mode))
        return true;
    if (::fstat(temp_fd, &temp) != 0)
        return false;
    constexpr mode_t kPermissions = 07777;
    if ((temp.st_mode & kPermissions) == (old_file.st_mode & kPermissions))
        return true;
    return ::fchmod(temp_fd, old_file.st_mode & kPermissions) == 0;
}

// Non-blocking open, then a look at what was opened: a FIFO must not hang
// us, and nothing can be swapped in between the look and the read. Ok with
// the descriptor in fd and its status in st.
ReadStatus OpenRegular(const fs::path& path, int& fd, struct stat& st) {
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? ReadStatus::Missing : ReadStatus::Unreadable;
    if (::fstat(fd, &st) != 0)
        return ReadStatus::Unreadable;
    return S_ISREG(st.st_mode) ? ReadStatus::Ok : ReadStatus::NotRegular;
}

} // namespace

FileProbe ProbeFile(const fs::path& path) {
    int raw = -1;
    struct stat st {};
    const ReadStatus status = OpenRegular(path, raw, st);
    const Fd fd(raw);
    return {status, status == ReadStatus::Ok ? static_cast<uint64_t>(st.st_size) : 0};
}

FileRead ReadFileBytes(const fs::path& path, std::size_t max_bytes, bool cut) {
    FileRead result;
    int raw = -1;
    struct stat st {};
    result.status = OpenRegular(path, raw, st);
    const Fd fd(raw);
    if (result.status != ReadStatus::Ok)
        return result;
    // One byte more than allowed tells an over-long file apart.
    result.bytes.resize(max_bytes + 1);
    std::size_t got = 0;
    while (got < result.bytes.size()) {
        const ssize_t n = ::read(fd.get(), result.bytes.data() + got, result.bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return {ReadStatus::Unreadable, {}};
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    result.bytes.resize(got);
    if (got > max_bytes) {
        if (!cut)
            return {ReadStatus::TooLarge, {}};
        result.bytes.resize(max_bytes);
    }
    result.status = ReadStatus::Ok;
    return result;
}

bool ReplaceFileContents(const fs::path& target_in, std::span<const uint8_t> bytes) {
    std::error_code ec;
    // Replace what a link points at, not the link.
    fs::path target = target_in;
    if (fs::is_symlink(fs::symlink_status(target_in, ec))) {
        const fs::path resolved = fs::weakly_canonical(target_in, ec);
        if (!ec)
            target = resolved;
    }
    fs::path dir = target.parent_path();
    if (dir.empty())
        dir = ".";

    RemoveStaleTemporaries(dir, target);

    fs::path temp;
    const Fd fd(CreateTemporary(dir, target, temp));
    if (!fd.ok())
        return false;
    const bool written = KeepMode(target, fd.get()) && WriteAll(fd.get(), bytes) &&
                         ::fsync(fd.get()) == 0 && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!written) {
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself is durable only once the directory is on the disk.
    const Fd dir_fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir_fd.ok())
        ::fsync(dir_fd.get());
    return true;
}

} // namespace kestrel
