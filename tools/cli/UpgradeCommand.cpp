// upgrade: the Firmware Upgrade dialog's Start without the dialog, agent by
// agent: trigger, two-second wait, TFTP write with its progress, then the
// rediscovery's verdict. The transfers go one after another (the TFTP
// ports are fixed, so one at a time); an agent's reboot wait and
// rediscovery run on while the next agent's transfer goes, so a fleet does
// not wait for every reboot in turn.

#include "CliSession.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "Output.h"
#include "PasswordSource.h"
#include "Progress.h"
#include "TargetList.h"
#include "TargetLookup.h"
#include "TerminalText.h"
#include "UpgradeReport.h"
#include "UserFiles.h"
#include "WorstExit.h"
#include "core/LocalNetworks.h"
#include "monitor/EventLog.h"
#include "monitor/MonitorFile.h"
#include "protocol/set/SetMessages.h"
#include "protocol/upgrade/UpgradeChecks.h"
#include "protocol/upgrade/UpgradeMessages.h"
#include "protocol/wire/Ipv4Text.h"
#include "protocol/words/OutcomeWords.h"
#include "upgrade/RediscoveryTimer.h"
#include "upgrade/UpgradeRun.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

namespace kestrel::cli {

namespace {

constexpr int kSkipped = -1;

std::string Said(const CliNotifier& notifier, std::string_view fallback) {
    return notifier.said().empty() ? std::string(fallback) : notifier.said();
}

// The exit code and words of an upgrade that ended before the rediscovery.
std::pair<int, std::string> EndedBeforeRediscovery(const UpgradeEnd& end, CliNotifier& notifier) {
    switch (end.kind) {
    case UpgradeEndKind::Completed:
        break;
    case UpgradeEndKind::TriggerNotAnswered:
        notifier.Say(kStateTriggerFail);
        return {kExitNoAnswer, std::string(kStateTriggerFail)};
    case UpgradeEndKind::TriggerRefused: {
        // The agent's status ("Device return : password error") was said.
        const std::string why = notifier.said();
        notifier.Say(kStateTriggerFail);
        return {kExitAgentRefused, why.empty() ? std::string(kStateTriggerFail)
                                               : why + " (" + std::string(kStateTriggerFail) + ")"};
    }
    case UpgradeEndKind::Refused:
    case UpgradeEndKind::LocalFailure:
        if (end.reason)
            notifier.Show(*end.reason);
        return {end.kind == UpgradeEndKind::Refused ? kExitRefusedInput : kExitLocalFailure,
                Said(notifier, "local failure")};
    case UpgradeEndKind::DeviceError: {
        // The device's own words, made safe; the hint is the program's.
        UpgradeEnd shown = end;
        shown.device_error = TerminalText(end.device_error);
        const std::string text = DeviceErrorBoxText(shown);
        notifier.Show(kDeviceError.WithText(text));
        return {kExitTransferFailed, text};
    }
    case UpgradeEndKind::DeviceNotFound:
    case UpgradeEndKind::TransferFailed: {
        const std::string state = UpgradeStateText(end).value_or("transfer failed");
        notifier.Say(state);
        return {kExitTransferFailed, state};
    }
    }
    return {kExitOk, {}};
}

int RediscoveryExit(Rediscovery::Outcome outcome) {
    return outcome == Rediscovery::Outcome::Succeeded ? kExitOk
           : outcome == Rediscovery::Outcome::Failed  ? kExitNotBack
                                                      : kExitLocalFailure;
}

} // namespace

int RunUpgrade(const CommandArgs& args) {
    const Output out(args);
    if (args.positional.empty()) {
        Output::Error("kestrel-cli upgrade: FILE, the firmware image, is missing\n"
                      "Try 'kestrel-cli upgrade --help'.");
        return kExitUsage;
    }
    const std::string firmware = args.positional.back();
    const std::vector<std::string> target_words(args.positional.begin(), args.positional.end() - 1);
    int lookup_ms = 3000;
    if (const auto text = args.Value("timeout")) {
        const auto ms = ParseTimeoutMs(*text);
        if (!ms) {
            Output::Error("kestrel-cli: --timeout takes seconds, e.g. 3 or 0.5");
            return kExitUsage;
        }
        lookup_ms = *ms;
    }

    CliNotifier notifier;
    notifier.InformationToStderr(true); // standard output carries the verdicts
    notifier.Quiet(out.quiet());
    CliSession session(notifier);
    DeviceTables& tables = session.tables();
    const auto named_file = args.Value("file");
    if (named_file && !CheckReadableFile(*named_file))
        return kExitLocalFailure;
    const std::filesystem::path monitor_file =
        named_file ? std::filesystem::path(*named_file) : MonitorFilePath(CfgDirectory());
    if (!LoadMonitorAtStartUp(monitor_file, tables.monitor, session.lists(), notifier))
        return kExitLocalFailure;
    std::vector<NamedTarget> targets;
    if (const int code = CollectTargets(args, target_words, tables.monitor, targets))
        return code;
    if (targets.empty()) {
        out.Note("kestrel-cli upgrade: no agents to upgrade");
        return kExitOk;
    }
    int password_code = kExitOk;
    const auto password = NeedSecret(args, Secret::Current, kPasswordLength, password_code);
    if (!password)
        return password_code;
    // Start's checks first: a wrong file is said before anything is sent.
    if (const auto refusal = CheckUpgradeForm(*password, firmware)) {
        notifier.Show(*refusal);
        return kExitRefusedInput;
    }
    if (!session.Open())
        return kExitLocalFailure;

    UpgradeRun upgrade(session.settings(), session.exchange(), session.network().sockets(),
                       session.events());
    SystemClock clock;
    EventLog log(args.Has("no-log") ? std::filesystem::path() : EventLogPath(CfgDirectory()), clock,
                 notifier);
    const bool stop_on_failure = args.Has("stop-on-failure");
    const auto stopped = [&] { return session.signals().stopped() || StopSignals::Received(); };

    std::vector<UpgradeVerdict> verdicts(targets.size());
    std::vector<bool> decided(targets.size(), false);
    WorstExit worst;
    const auto decide = [&](std::size_t i, int code, std::string message) {
        UpgradeVerdict& v = verdicts[i];
        v.exit_code = code;
        std::replace(message.begin(), message.end(), '\n', ' ');
        v.message = std::move(message);
        decided[i] = true;
        if (code != kSkipped)
            worst.Add(code);
        PrintUpgradeVerdict(out, v);
        session.Wake();
    };

    Progress* progress = nullptr;
    std::optional<UpgradeEnd> ended;
    QObject::connect(&upgrade, &UpgradeRun::SendFailed, [&](const SendFailure& failure) {
        std::string storage;
        notifier.Show(SendFailureMessage(failure, storage));
    });
    QObject::connect(&upgrade, &UpgradeRun::Progress, [&](const TransferProgress& p) {
        if (progress)
            progress->Update(p.acknowledged, p.total);
    });
    QObject::connect(&upgrade, &UpgradeRun::Ended, [&](const UpgradeEnd& end) {
        ended = end;
        session.Wake();
    });

    // Agents whose image is stored and whose return is awaited.
    std::vector<std::unique_ptr<RediscoveryTimer>> rediscoveries;
    std::vector<std::size_t> awaited;
    std::size_t next = 0;
    for (; next < targets.size(); ++next) {
        if (stopped() || (stop_on_failure && worst.failed()))
            break;
        const std::size_t i = next;
        UpgradeVerdict& v = verdicts[i];
        v.target = targets[i].text;
        notifier.ForgetSaid();
        ChosenAgent agent;
        const int found = SelectTarget(session, targets[i].target, SetCommandKind::FirmwareUpgrade,
                                       lookup_ms, agent);
        if (stopped()) {
            decide(i, kExitInterrupted, "interrupted while looking for the agent; nothing sent");
            ++next;
            break;
        }
        if (found != kExitOk) {
            decide(i, found, Said(notifier, "not found"));
            continue;
        }
        const DeviceRecord& record = agent.Record(tables);
        v.ip = std::string(FieldText(record.ip_text));
        v.mac = std::string(FieldText(record.mac_text));
        if (const auto refusal = CheckUpgradeTarget(tables, agent, ReadLocalNetworks())) {
            notifier.Show(*refusal);
            decide(i, kExitRefusedInput, Said(notifier, "refused"));
            continue;
        }
        upgrade.SetTarget(tables, agent);
        const std::string target_ip = FormatIpv4(upgrade.target().ip);
        const std::string target_mac(FieldText(upgrade.target().mac_text));
        Progress shown(stderr, v.target, !out.quiet());
        progress = &shown;
        ended.reset();
        upgrade.Start(*password, firmware);
        session.WaitUntil([&] { return ended.has_value(); }, -1);
        progress = nullptr;
        if (!ended) { // interrupted
            const TftpTransfer& transfer = upgrade.transfer().transfer();
            v.image_stored = transfer.state() == TftpTransfer::State::Finishing;
            v.bytes = v.image_stored ? transfer.file_size() : 0;
            upgrade.Cancel();
            shown.Finish();
            decide(i, kExitInterrupted,
                   v.image_stored ? "interrupted after the last block was acknowledged: the image "
                                    "was stored; the agent may be rebooting"
                                  : "interrupted before the last block was acknowledged: the image "
                                    "was not stored whole");
            ++next;
            break;
        }
        if (const std::optional<std::string> line = UpgradeLogText(*ended))
            (void)log.LogUpgradeFailure(target_ip, *line);
        if (ended->kind != UpgradeEndKind::Completed) {
            shown.Finish();
            auto [code, message] = EndedBeforeRediscovery(*ended, notifier);
            decide(i, code, std::move(message));
            continue;
        }
        shown.Complete(ended->total);
        v.image_stored = true;
        v.bytes = ended->total;
        out.Note(v.target + ": " + UpgradeCompleteText(ended->total, ended->total) +
                 "; waiting for the agent to come back");
        auto& rediscovery = rediscoveries.emplace_back(std::make_unique<RediscoveryTimer>(
            session.settings(), tables.discovery, session.network().sockets(), session.lists(),
            session.events()));
        awaited.push_back(i);
        QObject::connect(rediscovery.get(), &RediscoveryTimer::Finished,
                         [&, i](Rediscovery::Outcome outcome) {
                             const int code = RediscoveryExit(outcome);
                             decide(i, code, std::string(RediscoveryMessage(outcome).text));
                         });
        rediscovery->Start(target_mac);
    }
    const auto all_back = [&] {
        return std::all_of(awaited.begin(), awaited.end(),
                           [&](std::size_t i) { return decided[i]; });
    };
    if (!stopped())
        session.WaitUntil(all_back, -1);
    for (const std::size_t i : awaited)
        if (!decided[i])
            decide(i, kExitInterrupted,
                   "interrupted while waiting for the agent to come back: the image was stored; "
                   "the agent may be rebooting");
    for (std::size_t i = next; i < targets.size(); ++i) {
        verdicts[i].target = targets[i].text;
        decide(i, kSkipped,
               stopped() ? "not started: interrupted"
                         : "not started: an earlier agent failed (--stop-on-failure)");
    }
    if (targets.size() > 1 || stopped())
        out.Note(UpgradeSummary(verdicts));
    return stopped() ? kExitInterrupted : worst.code();
}

} // namespace kestrel::cli
