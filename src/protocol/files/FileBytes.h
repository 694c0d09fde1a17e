#pragma once
// Whole-file reading and replacing, shared by every file the program keeps
// (define.ecf, monitor.cfg). Plain C++ over POSIX, so the command-line tools
// use it without Qt.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace kestrel {

// NotRegular: a FIFO, device, directory or anything else that is not a plain
// file; it is refused without being read (a FIFO would block, /dev/zero
// never ends).
enum class ReadStatus { Ok, Missing, Unreadable, NotRegular, TooLarge };

struct FileRead {
    ReadStatus status = ReadStatus::Unreadable;
    std::vector<uint8_t> bytes;
};

// Reads a regular file. With cut, a longer file gives its first max_bytes;
// without, it is TooLarge.
FileRead ReadFileBytes(const std::filesystem::path& path, std::size_t max_bytes, bool cut);

// What ReadFileBytes would meet, without reading: whether the file opens
// and is a regular one, and its size then.
struct FileProbe {
    ReadStatus status = ReadStatus::Unreadable;
    uint64_t size = 0;
};
FileProbe ProbeFile(const std::filesystem::path& path);

// Replaces the file whole or not at all. The bytes go to a temporary file of
// a unique name beside it (".<name>.<8 hex digits>.tmp"), which is flushed to
// the disk, renamed over the target, and the directory flushed after it. On
// any failure the temporary is removed and the target stays as it was. The
// new file keeps the permissions of the one it replaces; a file that did
// not exist gets 0666 less the umask.
// Temporaries of that naming left behind by an interrupted earlier save are
// removed first; one that another writer still holds is left alone.
[[nodiscard]] bool ReplaceFileContents(const std::filesystem::path& target,
                                       std::span<const uint8_t> bytes);

} // namespace kestrel
