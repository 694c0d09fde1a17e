#pragma once
// define.ecf fixtures written from the file format itself: body text,
// scrambled with our key by the formula, then the checksum trailer. Kept
// apart from the code under test on purpose.

#include "protocol/settings/SettingsCodec.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace ecf_fixture {

using Bytes = std::vector<uint8_t>;

inline uint8_t ScrambleByFormula(uint8_t c) {
    if (c < 32 || c > 127)
        return c;
    return static_cast<uint8_t>(((c - 32) * kestrel::kScrambleK + kestrel::kScrambleD) % 96 + 32);
}

inline Bytes ScrambleText(std::string_view text) {
    Bytes b;
    for (const char c : text)
        b.push_back(ScrambleByFormula(static_cast<uint8_t>(c)));
    return b;
}

// Brute-force inverse: the byte that scrambles to c.
inline std::string UnscrambleBytes(const Bytes& bytes) {
    std::string text;
    for (const uint8_t c : bytes) {
        int plain = c;
        for (int p = 32; p <= 127; ++p)
            if (c >= 32 && c <= 127 && ScrambleByFormula(static_cast<uint8_t>(p)) == c)
                plain = p;
        text.push_back(static_cast<char>(plain));
    }
    return text;
}

// Sum in 16 bits, folded twice.
inline int ChecksumByFormula(const Bytes& bytes) {
    unsigned sum = 0;
    for (const uint8_t b : bytes)
        sum = (sum + b) & 0xFFFF;
    sum = (sum & 0xFF) + (sum >> 8);
    sum = (sum & 0xFF) + (sum >> 8);
    return static_cast<int>(sum);
}

// A complete stored file for the body text.
inline Bytes StoredFile(std::string_view text) {
    Bytes b = ScrambleText(text);
    const int s = ChecksumByFormula(b);
    b.push_back(static_cast<uint8_t>(0xFF - s));
    b.push_back(0xFF);
    return b;
}

inline std::string Body(std::string_view id, std::string_view port, std::string_view group,
                        char flag, std::string_view timer) {
    return "utility_id=" + std::string(id) + "\r\nbase_port=" + std::string(port) +
           "\r\nmulticast_group=" + std::string(group) +
           "\r\nmulticast_timer_flag=" + std::string(1, flag) +
           "\r\nstrlen_multi_timer=" + std::to_string(timer.size()) +
           "\r\nmulticast_timer=" + std::string(timer) + "\r\n";
}

class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kestrel-ecf-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

    // Names of everything in the directory.
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(path_))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::filesystem::path path_;
};

inline Bytes ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::filesystem::path& file, const Bytes& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

} // namespace ecf_fixture
