// monitor: the monitor-list file with the window's rules, and its text form
// for version control (MonitorText.h). Opens no socket.

#include "AgentFormat.h"
#include "CliLists.h"
#include "CliNotifier.h"
#include "CliSession.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "MonitorText.h"
#include "Output.h"
#include "TargetLookup.h"
#include "UserFiles.h"
#include "monitor/MonitorFile.h"
#include "protocol/files/FileBytes.h"
#include "protocol/lists/ListCommands.h"
#include "protocol/lists/ListMessages.h"
#include "protocol/lists/ListRows.h"
#include "protocol/lists/RowTexts.h"
#include "protocol/wire/Ipv4Text.h"

#include <QJsonArray>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace kestrel::cli {

namespace {

// A text form is small; this bounds what is read of a wrong file.
constexpr std::size_t kMaxMonitorTextBytes = 4 << 20;

constexpr const char* kActions = "monitor list | add IP | remove IP|MAC | export | import FILE";

bool IsWindowFile(const std::string& path) {
    return std::filesystem::path(path).extension() == ".cfg";
}

// The monitor file into the table. A file the user named must be there; a
// file that cannot be taken is said with its path.
bool LoadMonitor(const std::filesystem::path& file, bool must_exist, DeviceTable& monitor,
                 CliLists& lists, CliNotifier& notifier) {
    if (must_exist && !CheckReadableFile(file))
        return false;
    if (LoadMonitorAtStartUp(file, monitor, lists, notifier))
        return true;
    Output::Error("kestrel-cli: " + file.string() +
                  ": unreadable, or not a whole number of 300-byte records");
    return false;
}

// The records of a monitor file exactly as stored (none for a missing file).
std::vector<DeviceRecord> StoredRecords(const std::filesystem::path& file) {
    const FileRead read = ReadFileBytes(file, kMaxMonitorFileBytes, false);
    std::vector<DeviceRecord> records;
    if (read.status != ReadStatus::Ok)
        return records;
    records.resize(read.bytes.size() / kRecordSize);
    std::memcpy(records.data(), read.bytes.data(), records.size() * kRecordSize);
    return records;
}

int ImportText(const std::string& source, const std::filesystem::path& file, DeviceTable& monitor,
               CliNotifier& notifier) {
    if (!CheckReadableFile(source))
        return kExitLocalFailure;
    const FileRead read = ReadFileBytes(source, kMaxMonitorTextBytes, false);
    if (read.status != ReadStatus::Ok) {
        Output::Error("kestrel-cli: " + source +
                      (read.status == ReadStatus::TooLarge ? ": larger than a monitor list's text"
                       : read.status == ReadStatus::NotRegular ? ": not a regular file"
                                                               : ": cannot be read"));
        return kExitLocalFailure;
    }
    const QByteArray bytes(reinterpret_cast<const char*>(read.bytes.data()),
                           static_cast<qsizetype>(read.bytes.size()));
    const TextRead text = ReadMonitorText(bytes, true);
    if (!text.error.empty()) {
        Output::Error("kestrel-cli: " + source + ": " + text.error + "; nothing imported");
        return kExitRefusedInput;
    }
    const ImportResult result = ImportMonitorText(text.records, StoredRecords(file));
    if (!result.error.empty()) {
        Output::Error("kestrel-cli: " + source + ": " + result.error + "; nothing imported");
        return kExitRefusedInput;
    }
    monitor.Clear();
    for (const DeviceRecord& r : result.records)
        monitor.Append(r);
    return SaveMonitorFile(file, monitor, notifier) ? kExitOk : kExitLocalFailure;
}

} // namespace

int RunMonitor(const CommandArgs& args) {
    const auto& words = args.positional;
    if (words.empty()) {
        Output::Error(std::string("kestrel-cli: monitor needs an action: ") + kActions);
        return kExitUsage;
    }
    const std::string& action = words[0];
    const bool reads_only = action == "list" || action == "export";
    const std::size_t wanted = reads_only ? 1 : 2;
    if ((!reads_only && action != "add" && action != "remove" && action != "import") ||
        words.size() != wanted) {
        Output::Error(std::string("kestrel-cli: ") + kActions);
        return kExitUsage;
    }

    const Output out(args);
    CliNotifier notifier;
    notifier.InformationToStderr(reads_only);
    notifier.Quiet(out.quiet());
    auto tables = std::make_unique<DeviceTables>();
    CliLists lists;
    const auto named = args.Value("file");
    const std::filesystem::path file =
        named ? std::filesystem::path(*named) : MonitorFilePath(CfgDirectory());
    // add and remove may make the file they are given; list and export read it.
    if (!LoadMonitor(file, named && reads_only, tables->monitor, lists, notifier))
        return kExitLocalFailure;
    const auto records = tables->monitor.InUse();
    if (action == "list") {
        if (out.json()) {
            QJsonArray array;
            for (const DeviceRecord& r : records)
                array.append(AgentJson(r));
            out.JsonArray(array);
        } else {
            out.Table(kMonitorColumnTitles, MonitorRows(records));
        }
        return kExitOk;
    }
    if (action == "export") {
        if (!out.quiet())
            std::fputs((out.json() ? MonitorTextJson(records) : MonitorTextLines(records)).c_str(),
                       stdout);
        return kExitOk;
    }
    if (action == "import" && !IsWindowFile(words[1]))
        return ImportText(words[1], file, tables->monitor, notifier);

    ListCommands commands(*tables, lists, notifier);
    const int before = tables->monitor.count();
    if (action == "add") {
        const auto address = ParseIpv4(words[1]);
        const RemoteAddressResult read = ReadRemoteAddress(address.value_or(0));
        if (read.failure) {
            notifier.Show(*read.failure);
            return kExitRefusedInput;
        }
        commands.AddByAddress(*read.record);
        if (tables->monitor.count() == before)
            return kExitRefusedInput; // full, or listed already: said why
    } else if (action == "remove") {
        const auto target = ReadTargetArgument(words[1]);
        if (!target)
            return kExitUsage;
        const RowKey row = target->ip ? MonitorRowKey(FormatIpv4(*target->ip), "")
                                      : MonitorRowKey("", target->mac_text);
        if (!FindRecordOfRow(tables->monitor, row).found) {
            Output::Error(words[1] + " is not in the monitor list");
            return kExitRefusedInput;
        }
        commands.DeleteMonitored(std::span(&row, 1));
    } else {
        // A file of the window's own format: its "Monitor load".
        if (!CheckReadableFile(words[1]))
            return kExitLocalFailure;
        if (!AddMonitorFile(words[1], tables->monitor, lists, notifier)) {
            Output::Error("kestrel-cli: " + words[1] +
                          ": not a whole number of 300-byte records; nothing imported");
            return kExitLocalFailure;
        }
    }
    if (!SaveMonitorFile(file, tables->monitor, notifier))
        return kExitLocalFailure;
    return kExitOk;
}

} // namespace kestrel::cli
