#include "MonitorFile.h"

#include "MonitorMessages.h"
#include "protocol/files/FileBytes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace kestrel {

namespace {

// Up to `limit` bytes from the start of a regular file; nothing when it is
// not one or cannot be read.
std::optional<std::vector<uint8_t>> ReadUpTo(const std::filesystem::path& file, std::size_t limit,
                                             bool& missing) {
    FileRead read = ReadFileBytes(file, limit, true);
    missing = read.status == ReadStatus::Missing;
    if (read.status != ReadStatus::Ok)
        return std::nullopt;
    return std::move(read.bytes);
}

template <std::size_t N> void Terminate(char (&field)[N]) {
    field[N - 1] = '\0';
}

// Records come from files anyone may have written: every text ends inside
// its field, and the status column only ever gets an image the list has.
void Sanitise(DeviceRecord& r) {
    Terminate(r.mac_text);
    Terminate(r.product_name);
    Terminate(r.system_name);
    Terminate(r.location);
    Terminate(r.group_interval_text);
    Terminate(r.ip_text);
    Terminate(r.trap_ip_text);
    Terminate(r.subnet_mask_text);
    Terminate(r.gateway_text);
    Terminate(r.password);
    Terminate(r.new_password);
    if (r.status_image != kImageNotAlive)
        r.status_image = kImageNone;
}

// A loaded agent starts fresh, so its first poll counts no missed reply.
DeviceRecord LoadedRecord(const std::vector<uint8_t>& bytes, std::size_t index) {
    DeviceRecord r;
    std::memcpy(&r, bytes.data() + index * kRecordSize, kRecordSize);
    Sanitise(r);
    r.row_state = kRowNew;
    r.reply_flag = kReplied;
    r.missed_polls = 0;
    return r;
}

void Append(DeviceTable& monitor, const DeviceRecord& r, ListHooks& hooks) {
    if (monitor.Append(r))
        hooks.RefreshMonitorRow(monitor.count() - 1);
}

std::vector<uint8_t> RecordsImage(const DeviceTable& monitor) {
    std::vector<uint8_t> image;
    image.reserve(monitor.InUse().size() * kRecordSize);
    for (const DeviceRecord& r : monitor.InUse()) {
        const auto bytes = RecordBytes(r);
        image.insert(image.end(), bytes.begin(), bytes.end());
    }
    return image;
}

} // namespace

std::filesystem::path MonitorFilePath(const std::filesystem::path& cfg_dir) {
    return cfg_dir / kMonitorFileName;
}

bool LoadMonitorAtStartUp(const std::filesystem::path& file, DeviceTable& monitor, ListHooks& hooks,
                          Notifier& notifier) {
    monitor.Clear();
    bool missing = false;
    const auto bytes = ReadUpTo(file, kMaxMonitorFileBytes, missing);
    if (missing)
        return true; // no file yet: start with an empty list
    if (!bytes || bytes->size() % kRecordSize != 0) {
        notifier.Show(kConfigFileError);
        return false;
    }
    const std::size_t n = bytes->size() / kRecordSize;
    for (std::size_t i = 0; i < n; ++i)
        Append(monitor, LoadedRecord(*bytes, i), hooks);
    return true;
}

bool AddMonitorFile(const std::filesystem::path& file, DeviceTable& monitor, ListHooks& hooks,
                    Notifier& notifier) {
    bool missing = false;
    const auto bytes = ReadUpTo(file, kMaxMonitorFileBytes, missing);
    if (!bytes || bytes->size() % kRecordSize != 0) {
        notifier.Show(kConfigFileError);
        return false;
    }
    const std::size_t n = bytes->size() / kRecordSize;
    for (std::size_t i = 0; i < n; ++i) {
        const DeviceRecord r = LoadedRecord(*bytes, i);
        if (FindMonitorRecord(monitor, FieldText(r.ip_text), KeyKind::Ip).found) {
            notifier.Show(kLoadDuplicateIp);
            continue;
        }
        if (FindMonitorRecord(monitor, FieldText(r.mac_text), KeyKind::Mac).found) {
            notifier.Show(kLoadDuplicateDevice);
            continue;
        }
        if (monitor.full()) {
            notifier.Show(kLoadMonitorFull);
            return true;
        }
        Append(monitor, r, hooks);
    }
    return true;
}

bool SaveMonitorFile(const std::filesystem::path& file, const DeviceTable& monitor,
                     Notifier& notifier) {
    if (ReplaceFileContents(file, RecordsImage(monitor)))
        return true;
    // The failed call's own errno: the user learns why, not only that.
    const std::string reason = std::generic_category().message(errno);
    const std::string text =
        std::string(kMonitorSaveFail.text) + ": " + file.string() + "\n" + reason;
    notifier.Show(kMonitorSaveFail.WithText(text));
    return false;
}

} // namespace kestrel
