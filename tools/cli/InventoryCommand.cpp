// inventory diff SAVED: a discovery compared with a saved inventory (an
// export of monitor export, or discover --json), for a timer or cron job:
// 0 when nothing changed, 1 when agents are new, missing or changed.

#include "CliSession.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "InventoryDiff.h"
#include "Output.h"
#include "TerminalText.h"
#include "UserFiles.h"
#include "core/Latin1.h"
#include "protocol/files/FileBytes.h"

#include <QJsonArray>
#include <QJsonObject>

#include <optional>

namespace kestrel::cli {

namespace {

constexpr std::size_t kMaxInventoryBytes = 16 << 20;
// Only here 1 is no usage error: like diff(1), it says the two differ.
constexpr int kExitDiffers = 1;

std::optional<std::vector<InventoryAgent>> ReadSaved(const std::string& path) {
    if (!CheckReadableFile(path))
        return std::nullopt;
    const FileRead read = ReadFileBytes(path, kMaxInventoryBytes, false);
    if (read.status != ReadStatus::Ok) {
        Output::Error("kestrel-cli: " + path + ": cannot be read whole (too large or no file)");
        return std::nullopt;
    }
    const QByteArray bytes(reinterpret_cast<const char*>(read.bytes.data()),
                           static_cast<qsizetype>(read.bytes.size()));
    const TextRead text = ReadMonitorText(bytes, false);
    if (!text.error.empty()) {
        Output::Error("kestrel-cli: " + path + ": " + text.error +
                      " (expected the output of monitor export or discover --json)");
        return std::nullopt;
    }
    std::vector<InventoryAgent> agents;
    for (const TextRecord& r : text.records)
        agents.push_back({r.values});
    return agents;
}

QJsonObject ChangeJson(const InventoryChange& change) {
    QJsonArray fields;
    for (const FieldChange& f : change.fields)
        fields.append(QJsonObject{{QStringLiteral("field"), QString::fromStdString(f.field)},
                                  {QStringLiteral("saved"), Latin1(f.saved)},
                                  {QStringLiteral("now"), Latin1(f.now)}});
    return {{QStringLiteral("change"), QLatin1String(ChangeWord(change.kind))},
            {QStringLiteral("mac"), Latin1(change.mac)},
            {QStringLiteral("ip"), Latin1(change.ip)},
            {QStringLiteral("system_name"), Latin1(change.system_name)},
            {QStringLiteral("fields"), fields}};
}

void PrintChanges(const Output& out, const std::vector<InventoryChange>& changes) {
    if (out.json()) {
        QJsonArray array;
        for (const InventoryChange& c : changes)
            array.append(ChangeJson(c));
        out.JsonArray(array);
        return;
    }
    for (const InventoryChange& c : changes) {
        std::string head = std::string(ChangeWord(c.kind));
        head.resize(8, ' ');
        head += TerminalText(c.mac.empty() ? "-" : c.mac) + "  " + TerminalText(c.ip);
        if (c.kind != InventoryChange::Kind::Changed) {
            out.DataLine(head + "  " + TerminalText(c.system_name));
            continue;
        }
        for (const FieldChange& f : c.fields)
            out.DataLine(head + "  " + f.field + ": " + TerminalText(f.saved) + " -> " +
                         TerminalText(f.now));
    }
}

} // namespace

int RunInventory(const CommandArgs& args) {
    if (args.positional.size() != 2 || args.positional[0] != "diff") {
        Output::Error("kestrel-cli: inventory diff SAVED.json\n"
                      "Try 'kestrel-cli inventory --help'.");
        return kExitLocalFailure; // 1 would read as "they differ"
    }
    int timeout_ms = 2000;
    if (const auto text = args.Value("timeout")) {
        const auto ms = ParseTimeoutMs(*text);
        if (!ms) {
            Output::Error("kestrel-cli: --timeout takes seconds, e.g. 2 or 0.5");
            return kExitLocalFailure; // 1 would read as "they differ"
        }
        timeout_ms = *ms;
    }
    const auto saved = ReadSaved(args.positional[1]);
    if (!saved)
        return kExitLocalFailure;

    const Output out(args);
    CliNotifier notifier;
    notifier.InformationToStderr(true); // standard output carries the changes
    notifier.Quiet(out.quiet());
    CliSession session(notifier);
    if (!session.Open())
        return kExitLocalFailure;
    if (!session.Discover(timeout_ms))
        return kExitLocalFailure;
    if (session.signals().stopped()) {
        // A discovery cut short would call answering agents missing.
        out.Note("Interrupted before the discovery's time was up: nothing compared");
        return kExitInterrupted;
    }
    std::vector<InventoryAgent> now;
    for (const DeviceRecord& r : session.tables().discovery.InUse())
        now.push_back({MonitorTextValues(r)});
    const std::vector<InventoryChange> changes = DiffInventory(*saved, now);
    PrintChanges(out, changes);
    return changes.empty() ? kExitOk : kExitDiffers;
}

} // namespace kestrel::cli
