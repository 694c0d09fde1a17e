#include "FileBytes.h"

#include <fstream>
#include <system_error>

namespace kestrel {

namespace fs = std::filesystem;

FileRead ReadFileBytes(const fs::path& path, std::size_t max_bytes, bool cut) {
    FileRead result;
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (!fs::exists(st)) {
        result.status = ReadStatus::Missing;
        return result;
    }
    if (!fs::is_regular_file(st))
        return result;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return result;
    // Read one byte more than allowed to tell an over-long file apart.
    result.bytes.resize(max_bytes + 1);
    in.read(reinterpret_cast<char*>(result.bytes.data()),
            static_cast<std::streamsize>(result.bytes.size()));
    if (in.bad())
        return result;
    result.bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (result.bytes.size() > max_bytes) {
        if (!cut) {
            result.status = ReadStatus::TooLarge;
            return result;
        }
        result.bytes.resize(max_bytes);
    }
    result.status = ReadStatus::Ok;
    return result;
}

namespace {
bool WriteWithMode(const fs::path& path, std::span<const uint8_t> bytes, std::ios::openmode mode) {
    std::ofstream out(path, std::ios::binary | mode);
    if (!out)
        return false;
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}
} // namespace

bool WriteNewFile(const fs::path& path, std::span<const uint8_t> bytes) {
    return WriteWithMode(path, bytes, std::ios::trunc);
}

bool AppendToFile(const fs::path& path, std::span<const uint8_t> bytes) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return false;
    return WriteWithMode(path, bytes, std::ios::app);
}

fs::path TemporaryPathFor(const fs::path& path) {
    fs::path tmp = path;
    tmp += ".tmp";
    return tmp;
}

bool ReplaceFile(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::rename(from, to, ec);
    if (!ec)
        return true;
    fs::remove(from, ec);
    return false;
}

} // namespace kestrel
