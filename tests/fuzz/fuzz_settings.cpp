// Any define.ecf: loading and rewriting must stay in bounds, and a rewrite
// that reports success must leave a sound trailer.
#include "protocol/files/FileBytes.h"
#include "protocol/settings/SettingsFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include <unistd.h>

using namespace kestrel;

namespace {

class SilentNotifier : public Notifier {
public:
    void Show(const Message&) override {}
    bool Ask(const Message&) override { return true; }
};

// One directory for the whole run, removed when the fuzzer exits.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kestrel-fuzz-ecf-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

std::filesystem::path ScratchFile() {
    static const ScratchDir dir;
    return dir.path() / "define.ecf";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::filesystem::path file = ScratchFile();
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    SilentNotifier notifier;
    ProtocolSettings settings;
    (void)LoadSettingsFile(file, notifier, settings);
    if (settings.multicast_group.size() > kMulticastGroupWidth)
        std::abort();

    const char flag = size > 0 && (data[0] & 1) ? '1' : '0';
    if (SaveMulticastTimer(file, "1200", flag, notifier)) {
        // A rewrite that reports success leaves a trailer that holds (for any
        // file the loader would take at all).
        const FileRead stored = ReadFileBytes(file, kLoaderMaxBytes, false);
        if (stored.status == ReadStatus::Ok && !DecodeSettingsImage(stored.bytes).checksum_ok)
            std::abort();
    }
    std::error_code ec;
    std::filesystem::remove(file, ec);
    return 0;
}
