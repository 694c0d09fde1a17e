#pragma once
// Small whole-file helpers for the settings file.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace kestrel {

enum class ReadStatus { Ok, Missing, Unreadable, TooLarge };

struct FileRead {
    ReadStatus status = ReadStatus::Unreadable;
    std::vector<uint8_t> bytes;
};

// Reads a regular file. With cut, a longer file gives its first max_bytes;
// without, it is TooLarge.
FileRead ReadFileBytes(const std::filesystem::path& path, std::size_t max_bytes, bool cut);

// Creates (or truncates) the file and writes all bytes; false on any failure.
bool WriteNewFile(const std::filesystem::path& path, std::span<const uint8_t> bytes);

// Appends the bytes to an existing file; false on any failure.
bool AppendToFile(const std::filesystem::path& path, std::span<const uint8_t> bytes);

// The temporary file a replacement is written to, in the same directory so
// that the final rename stays on one file system.
std::filesystem::path TemporaryPathFor(const std::filesystem::path& path);

// Renames from over to; on failure removes from. false on failure.
bool ReplaceFile(const std::filesystem::path& from, const std::filesystem::path& to);

} // namespace kestrel
