#pragma once
// define.ecf on disk: loaded once at start-up, its keep-alive entries
// rewritten by the Group Interval dialog, created by the ecf tool.

#include "Notifier.h"
#include "ProgramState.h"
#include "SettingsCodec.h"

#include <cstddef>
#include <filesystem>
#include <string_view>

namespace kestrel {

inline constexpr std::size_t kLoaderMaxBytes = 256;
inline constexpr std::size_t kRewriterMaxBytes = 1024;

// Loads the five values into settings and returns 0. On -1 (missing,
// unreadable or over-long file, bad checksum) a "file error" box has been
// shown and settings are untouched.
int LoadSettingsFile(const std::filesystem::path& path, Notifier& notifier,
                     ProtocolSettings& settings);

// Rewrites entries 4 to 6 with the flag ('0' or '1') and the period value
// (1 to 9 decimal digits). The file is replaced whole or not at all: the new
// body and its trailer go to a temporary file beside it, which is then
// renamed over it. Returns 0, or -1 after a plain message box (nothing is
// shown for invalid arguments).
int SaveMulticastTimer(const std::filesystem::path& path, std::string_view value, char flag,
                       Notifier& notifier);

// Appends the 2-byte checksum trailer to the file. Returns 0, or -1 after a
// plain message box ("open file fail", "file size too large").
int AppendSettingsChecksum(const std::filesystem::path& path, Notifier& notifier);

// Writes a complete, valid file with the given values, replacing any old one
// whole. -1 when the values fail CheckSettingsValues or the write fails.
int CreateSettingsFile(const std::filesystem::path& path, const ProtocolSettings& values);

} // namespace kestrel
