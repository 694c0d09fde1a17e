// monitor: the monitor-list file with the window's rules. Opens no socket.

#include "AgentFormat.h"
#include "CliLists.h"
#include "CliNotifier.h"
#include "CliSession.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "TargetLookup.h"
#include "TerminalText.h"
#include "monitor/MonitorFile.h"
#include "protocol/lists/ListCommands.h"
#include "protocol/lists/ListMessages.h"
#include "protocol/lists/ListRows.h"
#include "protocol/wire/Ipv4Text.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>
#include <filesystem>

namespace kestrel::cli {

namespace {

std::filesystem::path MonitorFileOf(const ParsedArgs& args) {
    if (const auto file = args.Value("file"))
        return *file;
    return MonitorFilePath(CfgDirectory());
}

int List(const DeviceTable& monitor, bool json) {
    if (json) {
        QJsonArray array;
        for (const DeviceRecord& r : monitor.InUse())
            array.append(AgentJson(r));
        std::fputs(JsonText(QJsonDocument(array), QJsonDocument::Indented).c_str(), stdout);
    } else {
        std::fputs(MonitorTable(monitor.InUse()).c_str(), stdout);
    }
    return kExitOk;
}

} // namespace

int RunMonitor(const ParsedArgs& args) {
    const auto& words = args.positional;
    if (words.empty()) {
        std::fprintf(stderr, "kestrel-cli: monitor needs list, add, remove or import\n");
        return kExitUsage;
    }
    const std::string& action = words[0];
    const std::size_t wanted = action == "list" ? 1 : 2;
    if ((action != "list" && action != "add" && action != "remove" && action != "import") ||
        words.size() != wanted) {
        std::fprintf(stderr, "kestrel-cli: monitor list | add IP | remove IP|MAC | import FILE\n");
        return kExitUsage;
    }

    CliNotifier notifier;
    notifier.InformationToStderr(args.Has("json"));
    DeviceTables tables;
    CliLists lists;
    const std::filesystem::path file = MonitorFileOf(args);
    if (!LoadMonitorAtStartUp(file, tables.monitor, lists, notifier))
        return kExitLocalFailure; // "Config File Error": nothing to build on
    if (action == "list")
        return List(tables.monitor, args.Has("json"));

    ListCommands commands(tables, lists, notifier);
    const int before = tables.monitor.count();
    if (action == "add") {
        const auto address = ParseIpv4(words[1]);
        const RemoteAddressResult read = ReadRemoteAddress(address.value_or(0));
        if (read.failure) {
            notifier.Show(*read.failure);
            return kExitRefusedInput;
        }
        commands.AddByAddress(*read.record);
        if (tables.monitor.count() == before)
            return kExitRefusedInput; // full, or listed already: said why
    } else if (action == "remove") {
        const auto target = ReadTargetArgument(words[1]);
        if (!target)
            return kExitUsage;
        const RowKey row = target->ip ? MonitorRowKey(FormatIpv4(*target->ip), "")
                                      : MonitorRowKey("", target->mac_text);
        if (!FindRecordOfRow(tables.monitor, row).found) {
            std::fprintf(stderr, "%s is not in the monitor list\n", words[1].c_str());
            return kExitRefusedInput;
        }
        commands.DeleteMonitored(std::span(&row, 1));
    } else {
        if (!AddMonitorFile(words[1], tables.monitor, lists, notifier))
            return kExitLocalFailure;
    }
    if (!SaveMonitorFile(file, tables.monitor, notifier))
        return kExitLocalFailure;
    return kExitOk;
}

} // namespace kestrel::cli
