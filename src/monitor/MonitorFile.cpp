#include "MonitorFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace kestrel {

namespace {

constexpr std::string_view kErrorCaption = "Error";
constexpr std::string_view kWarningCaption = "Warning";

// Up to `limit` bytes from the start of the file; nothing when it cannot be
// opened or read.
std::optional<std::vector<uint8_t>> ReadUpTo(const std::filesystem::path& file, std::size_t limit) {
    std::FILE* f = std::fopen(file.c_str(), "rb");
    if (f == nullptr)
        return std::nullopt;
    std::vector<uint8_t> bytes(limit);
    const std::size_t got = std::fread(bytes.data(), 1, limit, f);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed)
        return std::nullopt;
    bytes.resize(got);
    return bytes;
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
    r.reply_flag = 1;
    r.missed_polls = 0;
    return r;
}

void Append(DeviceTable& monitor, const DeviceRecord& r, ListHooks& hooks) {
    const int i = monitor.count;
    monitor.records[static_cast<std::size_t>(i)] = r;
    monitor.count = i + 1;
    hooks.RefreshMonitorRow(i);
}

std::filesystem::path TemporaryBeside(const std::filesystem::path& file, unsigned salt) {
    std::filesystem::path temp = file;
    temp.replace_filename("." + file.filename().string() + "." + std::to_string(salt) + ".tmp");
    return temp;
}

bool WriteRecords(std::FILE* f, const DeviceTable& monitor) {
    const int n = std::clamp(monitor.count, 0, kTableCapacity);
    for (int i = 0; i < n; ++i) {
        const auto bytes = RecordBytes(monitor.records[static_cast<std::size_t>(i)]);
        if (std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size())
            return false;
    }
    return true;
}

// Writes the records to a new file beside the target and renames it over
// the target, so the old file stays whole until the new one is complete.
bool ReplaceWithRecords(const std::filesystem::path& file, const DeviceTable& monitor) {
    std::random_device random;
    std::FILE* f = nullptr;
    std::filesystem::path temp;
    for (int attempt = 0; attempt < 8 && f == nullptr; ++attempt) {
        temp = TemporaryBeside(file, random());
        f = std::fopen(temp.c_str(), "wbx"); // never reuses an existing file
    }
    if (f == nullptr)
        return false;
    bool ok = WriteRecords(f, monitor);
    if (std::fflush(f) != 0)
        ok = false;
    if (std::fclose(f) != 0)
        ok = false;
    std::error_code ec;
    if (ok) {
        std::filesystem::rename(temp, file, ec);
        ok = !ec;
    }
    if (!ok)
        std::filesystem::remove(temp, ec);
    return ok;
}

} // namespace

std::filesystem::path MonitorFilePath(const std::filesystem::path& cfg_dir) {
    return cfg_dir / kMonitorFileName;
}

void LoadMonitorAtStartUp(const std::filesystem::path& file, DeviceTable& monitor, ListHooks& hooks,
                          Notifier& notifier) {
    monitor.Clear();
    const auto bytes = ReadUpTo(file, kMaxMonitorFileBytes);
    if (!bytes)
        return; // no file yet: start with an empty list
    if (bytes->size() % kRecordSize != 0) {
        notifier.ShowMessage(kConfigFileErrorText, kErrorCaption, MessageIcon::Error);
        return;
    }
    const std::size_t n = bytes->size() / kRecordSize;
    for (std::size_t i = 0; i < n; ++i)
        Append(monitor, LoadedRecord(*bytes, i), hooks);
}

void AddMonitorFile(const std::filesystem::path& file, DeviceTable& monitor, ListHooks& hooks,
                    Notifier& notifier) {
    const auto bytes = ReadUpTo(file, kMaxMonitorFileBytes);
    if (!bytes || bytes->size() % kRecordSize != 0) {
        notifier.ShowMessage(kConfigFileErrorText, kErrorCaption, MessageIcon::Error);
        return;
    }
    const std::size_t n = bytes->size() / kRecordSize;
    for (std::size_t i = 0; i < n; ++i) {
        const DeviceRecord r = LoadedRecord(*bytes, i);
        if (FindMonitorRecord(monitor, FieldText(r.ip_text), KeyKind::Ip).found) {
            notifier.ShowMessage(kDuplicateIpText, kWarningCaption, MessageIcon::Warning);
            continue;
        }
        if (FindMonitorRecord(monitor, FieldText(r.mac_text), KeyKind::Mac).found) {
            notifier.ShowMessage(kDuplicateDeviceText, kWarningCaption, MessageIcon::Warning);
            continue;
        }
        if (monitor.count >= kTableCapacity) {
            notifier.ShowMessage(kMonitorFullText, kWarningCaption, MessageIcon::Warning);
            return;
        }
        Append(monitor, r, hooks);
    }
}

bool SaveMonitorFile(const std::filesystem::path& file, const DeviceTable& monitor,
                     Notifier& notifier) {
    if (ReplaceWithRecords(file, monitor))
        return true;
    const std::string text = std::string(kMonitorSaveFailText) + ": " + file.string();
    notifier.ShowMessage(text, kErrorCaption, MessageIcon::Error);
    return false;
}

} // namespace kestrel
