#include "SettingsFile.h"

#include "FileBytes.h"

#include <string>
#include <system_error>

namespace kestrel {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kFileErrorCaption = "file error";

void FileError(Notifier& notifier, std::string_view text) {
    notifier.ShowMessage(text, kFileErrorCaption, MessageIcon::Error);
}

void Plain(Notifier& notifier, std::string_view text) {
    notifier.ShowMessage(text, kPlainCaption, MessageIcon::None);
}

// Only ever removes a file we wrote, never a directory in its place.
void RemoveTemporary(const fs::path& tmp) {
    std::error_code ec;
    if (fs::is_regular_file(fs::symlink_status(tmp, ec)))
        fs::remove(tmp, ec);
}

std::span<uint8_t> Bytes(std::string& s) {
    return {reinterpret_cast<uint8_t*>(s.data()), s.size()};
}

} // namespace

int LoadSettingsFile(const fs::path& path, Notifier& notifier, ProtocolSettings& settings) {
    const FileRead file = ReadFileBytes(path, kLoaderMaxBytes, false);
    switch (file.status) {
    case ReadStatus::Ok:
        break;
    case ReadStatus::Missing:
        FileError(notifier, "define.ecf not found");
        return -1;
    case ReadStatus::Unreadable:
        FileError(notifier, "define.ecf open fail");
        return -1;
    case ReadStatus::TooLarge:
        FileError(notifier, "file size too large");
        return -1;
    }

    const DecodedSettings decoded = DecodeSettingsImage(file.bytes);
    if (!decoded.checksum_ok) {
        FileError(notifier, "define.ecf checksum error");
        return -1;
    }
    const SettingsEntries& e = decoded.entries;
    settings.utility_id = e.utility_id;
    settings.base_port = e.base_port;
    settings.multicast_group = e.multicast_group;
    settings.multicast_timer_flag = e.multicast_timer_flag;
    settings.multicast_timer = e.multicast_timer;
    return 0;
}

int SaveMulticastTimer(const fs::path& path, std::string_view value, char flag,
                       Notifier& notifier) {
    if ((flag != '0' && flag != '1') || !IsTimerValueText(value))
        return -1;

    const FileRead file = ReadFileBytes(path, kRewriterMaxBytes, true);
    if (file.status != ReadStatus::Ok) {
        Plain(notifier, "open file fail");
        return -1;
    }
    // A bad trailer is reported, then repaired by the rewrite.
    if (file.bytes.size() < 2 || SettingsChecksum(file.bytes) != 0xFF)
        Plain(notifier, "define.ecf checksum error");

    std::string text(file.bytes.begin(), file.bytes.end());
    Unscramble(Bytes(text));
    std::optional<std::string> body = RewriteTimerEntries(text, value, flag);
    if (!body) {
        // Without the three keys there is nothing we could rewrite safely.
        Plain(notifier, "define.ecf format error");
        return -1;
    }
    Scramble(Bytes(*body));

    const fs::path tmp = TemporaryPathFor(path);
    if (!WriteNewFile(tmp, Bytes(*body))) {
        RemoveTemporary(tmp);
        Plain(notifier, "ECF File created fail");
        return -1;
    }
    if (AppendSettingsChecksum(tmp, notifier) != 0) {
        RemoveTemporary(tmp);
        return -1;
    }
    if (!ReplaceFile(tmp, path)) {
        Plain(notifier, "ECF File created fail");
        return -1;
    }
    return 0;
}

int AppendSettingsChecksum(const fs::path& path, Notifier& notifier) {
    const FileRead file = ReadFileBytes(path, kRewriterMaxBytes, false);
    if (file.status == ReadStatus::TooLarge) {
        Plain(notifier, "file size too large");
        return -1;
    }
    if (file.status != ReadStatus::Ok) {
        Plain(notifier, "open file fail");
        return -1;
    }
    if (!AppendToFile(path, SettingsTrailer(file.bytes))) {
        Plain(notifier, "open file fail");
        return -1;
    }
    return 0;
}

int CreateSettingsFile(const fs::path& path, const ProtocolSettings& values) {
    if (CheckSettingsValues(values))
        return -1;
    const std::vector<uint8_t> image = BuildSettingsImage(values);
    const fs::path tmp = TemporaryPathFor(path);
    if (!WriteNewFile(tmp, image)) {
        RemoveTemporary(tmp);
        return -1;
    }
    return ReplaceFile(tmp, path) ? 0 : -1;
}

} // namespace kestrel
