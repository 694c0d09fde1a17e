// upgrade: the Firmware Upgrade dialog's Start without the dialog: trigger,
// two-second wait, TFTP write with its progress, then the rediscovery's
// verdict.

#include "CliSession.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "PasswordSource.h"
#include "Progress.h"
#include "TargetLookup.h"
#include "core/LocalNetworks.h"
#include "monitor/EventLog.h"
#include "monitor/MonitorFile.h"
#include "protocol/upgrade/UpgradeChecks.h"
#include "protocol/upgrade/UpgradeMessages.h"
#include "protocol/wire/Ipv4Text.h"
#include "upgrade/RediscoveryTimer.h"
#include "upgrade/UpgradeRun.h"

#include <QTimer>

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
    std::string error;
    const auto password = ReadSecret(args, Secret::Current, error);
    if (!password) {
        std::fprintf(stderr, "kestrel-cli: %s\n",
                     error.empty() ? "no password: give --password, --password-env, "
                                     "--password-stdin or KESTREL_PASSWORD"
                                   : error.c_str());
        return kExitUsage;
    }

    CliNotifier notifier;
    // Start's checks first: a wrong file is said before anything is sent.
    if (const auto refusal = CheckUpgradeForm(*password, firmware)) {
        notifier.Show(*refusal);
        return kExitRefusedInput;
    }
    CliSession session(notifier);
    ProgramState& state = session.state();
    const std::filesystem::path monitor_file = args.Value("file")
                                                   ? std::filesystem::path(*args.Value("file"))
                                                   : MonitorFilePath(CfgDirectory());
    LoadMonitorAtStartUp(monitor_file, state.monitor, session.lists(), notifier);
    if (notifier.SawError() || !session.Open())
        return kExitLocalFailure;
    if (const int found =
            SelectTarget(session, *target, SetCommandKind::FirmwareUpgrade, lookup_ms))
        return found;
    if (const auto refusal = CheckUpgradeTarget(state, ReadLocalNetworks())) {
        notifier.Show(*refusal);
        return kExitRefusedInput;
    }

    UpgradeRun upgrade(state, session.network().sockets(), notifier);
    RediscoveryTimer rediscovery(state, session.network().sockets(), session.lists(), notifier);
    SystemClock clock;
    EventLog log(args.Has("no-log") ? std::filesystem::path() : EventLogPath(CfgDirectory()), clock,
                 notifier);
    upgrade.SetTarget();
    const std::string target_ip = FormatIpv4(upgrade.target().ip);

    std::optional<int> result;
    Progress progress(stdout);
    QTimer ticker;
    ticker.setInterval(100);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const TftpTransfer& t = upgrade.transfer().transfer();
        progress.Update(t.bytes_sent(), t.file_size());
    });
    std::size_t from = 0;
    QObject::connect(&upgrade, &UpgradeRun::StateText, [&](const QString& text) {
        if (text.toStdString() == kStateTriggerFail)
            result = notifier.SawError(from) ? kExitAgentRefused : kExitNoAnswer;
        else if (text.toStdString() == kStateWait && upgrade.transfer().IsOpen())
            ticker.start();
    });
    QObject::connect(&upgrade, &UpgradeRun::LogFailure, [&](const QByteArray& text) {
        (void)log.LogUpgradeFailure(target_ip, text.toStdString());
    });
    QObject::connect(&upgrade.transfer(), &FirmwareTransfer::Finished, [&](TftpOutcome outcome) {
        ticker.stop();
        const TftpTransfer& t = upgrade.transfer().transfer();
        progress.Update(t.bytes_sent(), t.file_size());
        progress.Finish();
        if (outcome == TftpOutcome::Completed) {
            std::printf("%s\n", UpgradeCompleteText(t.file_size(), t.file_size()).c_str());
            std::printf("Waiting for the agent to come back\n");
            std::fflush(stdout);
            rediscovery.Start();
        } else {
            result = kExitTransferFailed;
        }
    });
    QObject::connect(&upgrade, &UpgradeRun::BusyChanged, [&](bool busy) {
        // Back to idle with no transfer under way and no verdict: a check or
        // the socket failed, after its box.
        if (!busy && !rediscovery.running() && !result && !upgrade.transfer().IsOpen())
            QTimer::singleShot(0, [&] {
                if (!result && !rediscovery.running())
                    result = kExitTransferFailed;
            });
    });
    QObject::connect(&rediscovery, &RediscoveryTimer::Finished, [&](Rediscovery::Outcome outcome) {
        result = outcome == Rediscovery::Outcome::Succeeded ? kExitOk
                 : outcome == Rediscovery::Outcome::Failed  ? kExitNotBack
                                                            : kExitLocalFailure;
    });

    from = notifier.shown().size();
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
