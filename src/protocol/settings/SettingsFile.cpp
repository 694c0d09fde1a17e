#include "protocol/settings/SettingsFile.h"

#include "protocol/dispatch/ProtocolMessages.h"
#include "protocol/files/FileBytes.h"

#include <string>

namespace kestrel {

namespace fs = std::filesystem;

namespace {

std::span<uint8_t> Bytes(std::string& s) {
    return {reinterpret_cast<uint8_t*>(s.data()), s.size()};
}

} // namespace

bool LoadSettingsFile(const fs::path& path, Notifier& notifier, ProtocolSettings& settings) {
    const FileRead file = ReadFileBytes(path, kLoaderMaxBytes, false);
    switch (file.status) {
    case ReadStatus::Ok:
        break;
    case ReadStatus::Missing:
        notifier.Show(kEcfNotFound);
        return false;
    case ReadStatus::Unreadable:
    case ReadStatus::NotRegular:
        notifier.Show(kEcfOpenFail);
        return false;
    case ReadStatus::TooLarge:
        notifier.Show(kEcfTooLarge);
        return false;
    }

    const DecodedSettings decoded = DecodeSettingsImage(file.bytes);
    if (!decoded.checksum_ok) {
        notifier.Show(kEcfChecksumError);
        return false;
    }
    const SettingsEntries& e = decoded.entries;
    // A port past 65535 would wrap to a low port, 0 to a random one.
    if (!BasePortFits(e.base_port)) {
        const std::string text = BasePortProblem(e.base_port);
        notifier.Show(kEcfBasePortError.WithText(text));
        return false;
    }
    settings.utility_id = e.utility_id;
    settings.base_port = e.base_port;
    settings.multicast_group = e.multicast_group;
    settings.multicast_timer_flag = e.multicast_timer_flag;
    settings.multicast_timer = e.multicast_timer;
    return true;
}

bool SaveMulticastTimer(const fs::path& path, std::string_view value, char flag,
                        Notifier& notifier) {
    if ((flag != '0' && flag != '1') || !IsTimerValueText(value))
        return false;

    const FileRead file = ReadFileBytes(path, kRewriterMaxBytes, true);
    if (file.status != ReadStatus::Ok) {
        notifier.Show(kEcfOpenFilePlain);
        return false;
    }
    // A bad trailer is reported, then repaired by the rewrite.
    if (file.bytes.size() < 2 || SettingsChecksum(file.bytes) != 0xFF)
        notifier.Show(kEcfChecksumPlain);

    std::string text(file.bytes.begin(), file.bytes.end());
    Unscramble(Bytes(text));
    std::optional<std::string> body = RewriteTimerEntries(text, value, flag);
    if (!body) {
        // Without the three keys there is nothing we could rewrite safely.
        notifier.Show(kEcfFormatError);
        return false;
    }
    Scramble(Bytes(*body));

    std::vector<uint8_t> image(body->begin(), body->end());
    if (image.size() > kRewriterMaxBytes) {
        notifier.Show(kEcfTooLargePlain);
        return false;
    }
    const auto trailer = SettingsTrailer(image);
    image.insert(image.end(), trailer.begin(), trailer.end());
    if (!ReplaceFileContents(path, image)) {
        notifier.Show(kEcfCreatedFail);
        return false;
    }
    return true;
}

bool AppendSettingsChecksum(const fs::path& path, Notifier& notifier) {
    const FileRead file = ReadFileBytes(path, kRewriterMaxBytes, false);
    if (file.status == ReadStatus::TooLarge) {
        notifier.Show(kEcfTooLargePlain);
        return false;
    }
    if (file.status != ReadStatus::Ok) {
        notifier.Show(kEcfOpenFilePlain);
        return false;
    }
    std::vector<uint8_t> image = file.bytes;
    const auto trailer = SettingsTrailer(file.bytes);
    image.insert(image.end(), trailer.begin(), trailer.end());
    if (!ReplaceFileContents(path, image)) {
        notifier.Show(kEcfOpenFilePlain);
        return false;
    }
    return true;
}

bool CreateSettingsFile(const fs::path& path, const ProtocolSettings& values) {
    if (CheckSettingsValues(values))
        return false;
    return ReplaceFileContents(path, BuildSettingsImage(values));
}

} // namespace kestrel
