#pragma once
// define.ecf on disk: loaded once at start-up, its keep-alive entries
// rewritten by the Group Interval dialog, created by the ecf tool.

#include "protocol/seams/Notifier.h"
#include "protocol/settings/ProtocolSettings.h"
#include "protocol/settings/SettingsCodec.h"

#include <cstddef>
#include <filesystem>
#include <string_view>

namespace kestrel {

inline constexpr std::size_t kLoaderMaxBytes = 256;
inline constexpr std::size_t kRewriterMaxBytes = 1024;

// Loads the five values into settings. On false (missing, unreadable,
// not a regular file, over-long, bad checksum, a base port whose ports do
// not fit in 16 bits) a "file error" box has been shown and settings are
// untouched.
[[nodiscard]] bool LoadSettingsFile(const std::filesystem::path& path, Notifier& notifier,
                                    ProtocolSettings& settings);

// Rewrites entries 4 to 6 with the flag ('0' or '1') and the period value
// (1 to 9 decimal digits), body and trailer together, replacing the file
// whole or not at all. False after a plain message box (nothing is shown
// for invalid arguments).
[[nodiscard]] bool SaveMulticastTimer(const std::filesystem::path& path, std::string_view value,
                                      char flag, Notifier& notifier);

// Appends the 2-byte checksum trailer to the file. False after a plain
// message box ("open file fail", "file size too large").
[[nodiscard]] bool AppendSettingsChecksum(const std::filesystem::path& path, Notifier& notifier);

// Writes a complete, valid file with the given values, replacing any old one
// whole. False when the values fail CheckSettingsValues or the write fails.
[[nodiscard]] bool CreateSettingsFile(const std::filesystem::path& path,
                                      const ProtocolSettings& values);

} // namespace kestrel
