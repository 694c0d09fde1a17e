// upgrade: the Firmware Upgrade dialog's Start without the dialog: trigger,
// two-second wait, TFTP write with its progress, then the rediscovery's
// verdict.

#include "CliSession.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "PasswordSource.h"
#include "Progress.h"
#include "TargetLookup.h"
#include "TerminalText.h"
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

#include <cstdio>
#include <optional>

namespace kestrel::cli {

int RunUpgrade(const ParsedArgs& args) {
    if (args.positional.size() != 2) {
        std::fprintf(stderr, "kestrel-cli: upgrade needs TARGET and FILE\n");
        return kExitUsage;
    }
    const auto target = ReadTargetArgument(args.positional[0]);
    if (!target)
        return kExitUsage;
    const std::string firmware = args.positional[1];
    int lookup_ms = 3000;
    if (const auto text = args.Value("timeout")) {
        const auto ms = ParseTimeoutMs(*text);
        if (!ms) {
            std::fprintf(stderr, "kestrel-cli: --timeout takes seconds, e.g. 3 or 0.5\n");
            return kExitUsage;
        }
        lookup_ms = *ms;
    }
    int password_code = kExitOk;
    const auto password = NeedSecret(args, Secret::Current, kPasswordLength, password_code);
    if (!password)
        return password_code;

    CliNotifier notifier;
    // Start's checks first: a wrong file is said before anything is sent.
    if (const auto refusal = CheckUpgradeForm(*password, firmware)) {
        notifier.Show(*refusal);
        return kExitRefusedInput;
    }
    CliSession session(notifier);
    DeviceTables& tables = session.tables();
    const std::filesystem::path monitor_file = args.Value("file")
                                                   ? std::filesystem::path(*args.Value("file"))
                                                   : MonitorFilePath(CfgDirectory());
    if (!LoadMonitorAtStartUp(monitor_file, tables.monitor, session.lists(), notifier) ||
        !session.Open())
        return kExitLocalFailure;
    ChosenAgent agent;
    if (const int found =
            SelectTarget(session, *target, SetCommandKind::FirmwareUpgrade, lookup_ms, agent))
        return found;
    if (const auto refusal = CheckUpgradeTarget(tables, agent, ReadLocalNetworks())) {
        notifier.Show(*refusal);
        return kExitRefusedInput;
    }

    UpgradeRun upgrade(session.settings(), session.exchange(), session.network().sockets(),
                       session.events());
    RediscoveryTimer rediscovery(session.settings(), tables.discovery, session.network().sockets(),
                                 session.lists(), session.events());
    SystemClock clock;
    EventLog log(args.Has("no-log") ? std::filesystem::path() : EventLogPath(CfgDirectory()), clock,
                 notifier);
    upgrade.SetTarget(tables, agent);
    const std::string target_ip = FormatIpv4(upgrade.target().ip);

    std::optional<int> result;
    const auto end = [&](int code) {
        result = code;
        session.Wake();
    };
    Progress progress(stdout);
    QObject::connect(&upgrade, &UpgradeRun::SendFailed, [&](const SendFailure& failure) {
        std::string storage;
        notifier.Show(SendFailureMessage(failure, storage));
    });
    QObject::connect(&upgrade, &UpgradeRun::TransferStarted,
                     [&] { progress.Update(0, upgrade.transfer().transfer().file_size()); });
    QObject::connect(&upgrade, &UpgradeRun::Progress,
                     [&](const TransferProgress& p) { progress.Update(p.sent, p.total); });
    QObject::connect(&upgrade, &UpgradeRun::Ended, [&](const UpgradeEnd& outcome) {
        if (const std::optional<std::string> line = UpgradeLogText(outcome))
            (void)log.LogUpgradeFailure(target_ip, *line);
        switch (outcome.kind) {
        case UpgradeEndKind::Completed:
            progress.Update(outcome.total, outcome.total);
            progress.Finish();
            std::printf("%s\n", UpgradeCompleteText(outcome.total, outcome.total).c_str());
            std::printf("Waiting for the agent to come back\n");
            std::fflush(stdout);
            rediscovery.Start(std::string(FieldText(upgrade.target().mac_text)));
            break;
        case UpgradeEndKind::TriggerNotAnswered:
            std::fprintf(stderr, "%s\n", std::string(kStateTriggerFail).c_str());
            end(kExitNoAnswer);
            break;
        case UpgradeEndKind::TriggerRefused:
            std::fprintf(stderr, "%s\n", std::string(kStateTriggerFail).c_str());
            end(kExitAgentRefused);
            break;
        case UpgradeEndKind::Refused:
            if (outcome.reason)
                notifier.Show(*outcome.reason);
            end(kExitRefusedInput);
            break;
        case UpgradeEndKind::LocalFailure:
            if (outcome.reason)
                notifier.Show(*outcome.reason);
            end(kExitLocalFailure);
            break;
        case UpgradeEndKind::DeviceError: {
            progress.Finish();
            // The device's own words, made safe; the hint is the program's.
            UpgradeEnd shown = outcome;
            shown.device_error = TerminalText(outcome.device_error);
            const std::string text = DeviceErrorBoxText(shown);
            notifier.Show(kDeviceError.WithText(text));
            end(kExitTransferFailed);
            break;
        }
        case UpgradeEndKind::DeviceNotFound:
        case UpgradeEndKind::TransferFailed:
            progress.Finish();
            if (const std::optional<std::string> state = UpgradeStateText(outcome))
                std::fprintf(stderr, "%s\n", state->c_str());
            end(kExitTransferFailed);
            break;
        }
    });
    QObject::connect(&rediscovery, &RediscoveryTimer::Finished, [&](Rediscovery::Outcome outcome) {
        notifier.Show(RediscoveryMessage(outcome));
        end(outcome == Rediscovery::Outcome::Succeeded ? kExitOk
            : outcome == Rediscovery::Outcome::Failed  ? kExitNotBack
                                                       : kExitLocalFailure);
    });

    upgrade.Start(*password, firmware);
    session.WaitUntil([&] { return result.has_value(); }, -1);
    if (!result) { // stopped by a signal
        upgrade.Cancel();
        progress.Finish();
        return kExitTransferFailed;
    }
    return *result;
}

} // namespace kestrel::cli
