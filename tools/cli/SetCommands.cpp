// set, passwd, dhcp-refresh: the set dialogs' checks and datagram, sent to
// the agent found for TARGET; then, unlike the window, the agent's answer is
// awaited and told by the exit status.

#include "CliSession.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "PasswordSource.h"
#include "TargetLookup.h"
#include "config/ConfigMessages.h"
#include "config/ConfigurationInput.h"
#include "config/DhcpRefreshInput.h"
#include "config/PasswordChangeInput.h"
#include "config/SetRun.h"
#include "monitor/MonitorFile.h"
#include "protocol/set/SetMessages.h"
#include "protocol/wire/Ipv4Text.h"

#include <cstdio>
#include <functional>
#include <optional>

namespace kestrel::cli {

namespace {

constexpr int kDefaultTimeoutMs = 3000;

struct Common {
    Target target;
    int timeout_ms = kDefaultTimeoutMs;
    std::filesystem::path monitor_file;
};

int ReadCommon(const ParsedArgs& args, const char* command, Common& common) {
    if (args.positional.size() != 1) {
        std::fprintf(stderr, "kestrel-cli: %s needs one TARGET (an IP or MAC address)\n", command);
        return kExitUsage;
    }
    const auto target = ReadTargetArgument(args.positional[0]);
    if (!target)
        return kExitUsage;
    common.target = *target;
    if (const auto text = args.Value("timeout")) {
        const auto ms = ParseTimeoutMs(*text);
        if (!ms) {
            std::fprintf(stderr, "kestrel-cli: --timeout takes seconds, e.g. 3 or 0.5\n");
            return kExitUsage;
        }
        common.timeout_ms = *ms;
    }
    common.monitor_file = args.Value("file") ? std::filesystem::path(*args.Value("file"))
                                             : MonitorFilePath(CfgDirectory());
    return kExitOk;
}

// The set run the dialogs use, then its answer awaited: the exit status
// says how it ended.
int RunAndAwait(CliSession& session, const ChosenAgent& agent, SetVariant variant,
                SetRun::Payload payload, int timeout_ms) {
    SetRun run(session.setLink(), session.events());
    std::optional<int> result;
    bool sent = false;
    const auto end = [&](int code) {
        result = code;
        session.Wake();
    };
    QObject::connect(&run, &SetRun::Withheld, [&] { end(kExitRefusedInput); });
    QObject::connect(&run, &SetRun::SendFailed,
                     [&](const SendFailure&) { end(kExitLocalFailure); });
    QObject::connect(&run, &SetRun::Sent, [&] {
        sent = true;
        session.Wake();
    });
    QObject::connect(&run, &SetRun::Answered, [&](const SetAnswer& answer) {
        end(answer.kind == SetAnswer::Kind::Succeeded ? kExitOk : kExitAgentRefused);
    });
    run.Start(agent, variant, std::move(payload));
    // The re-join takes half a second; the answer's time counts from the send.
    session.WaitUntil([&] { return sent || result.has_value(); }, 5000);
    if (!result && sent)
        session.WaitUntil([&] { return result.has_value(); }, timeout_ms);
    if (result)
        return *result;
    if (!sent)
        return kExitLocalFailure;
    if (!session.signals().stopped())
        std::fprintf(stderr, "No answer from the agent within %d ms\n", timeout_ms);
    return kExitNoAnswer;
}

// Opens the session, finds the agent and checks the selection.
int Prepare(CliSession& session, const Common& common, SetCommandKind kind, ChosenAgent& agent) {
    if (!LoadMonitorAtStartUp(common.monitor_file, session.tables().monitor, session.lists(),
                              session.notifier()))
        return kExitLocalFailure;
    if (!session.Open())
        return kExitLocalFailure;
    return SelectTarget(session, common.target, kind, common.timeout_ms, agent);
}

std::optional<uint32_t> AddressOption(const ParsedArgs& args, const char* name, int& code) {
    const auto text = args.Value(name);
    if (!text)
        return std::nullopt;
    const auto value = ParseIpv4(*text);
    if (!value) {
        std::fprintf(stderr, "kestrel-cli: --%s takes a dotted IPv4 address\n", name);
        code = kExitUsage;
    }
    return value;
}

} // namespace

int RunSet(const ParsedArgs& args) {
    Common common;
    if (const int code = ReadCommon(args, "set", common))
        return code;
    int code = kExitOk;
    const auto password = NeedSecret(args, Secret::Current, kPasswordLength, code);
    const auto ip = AddressOption(args, "ip", code);
    const auto mask = AddressOption(args, "mask", code);
    const auto gateway = AddressOption(args, "gateway", code);
    const auto trap_ip = AddressOption(args, "trap-ip", code);
    const auto dhcp = args.Value("dhcp");
    if (dhcp && *dhcp != "on" && *dhcp != "off") {
        std::fprintf(stderr, "kestrel-cli: --dhcp takes on or off\n");
        code = kExitUsage;
    }
    if (code != kExitOk)
        return code;

    CliNotifier notifier;
    CliSession session(notifier);
    ChosenAgent agent;
    if (const int found = Prepare(session, common, SetCommandKind::Configuration, agent))
        return found;
    const DeviceTables& tables = session.tables();

    // The dialog opened on the agent, then the operator's changes.
    ConfigurationForm form = FormFromRecord(agent.Record(tables));
    const bool dhcp_reported = form.dhcp_enable_checked || form.dhcp_disable_checked;
    if (dhcp && !dhcp_reported) {
        std::fprintf(stderr, "The agent does not report DHCP: --dhcp cannot be set\n");
        return kExitRefusedInput;
    }
    if (args.Value("group-interval") && !form.group_interval_enabled) {
        std::fprintf(stderr, "The agent does not report a group interval: --group-interval "
                             "cannot be set\n");
        return kExitRefusedInput;
    }
    form.password = *password;
    if (const auto v = args.Value("system-name"))
        form.system_name = *v;
    if (const auto v = args.Value("location"))
        form.location = *v;
    if (dhcp) {
        form.dhcp_enable_checked = *dhcp == "on";
        form.dhcp_disable_checked = *dhcp == "off";
    }
    // Addresses typed while DHCP is on are not read, as in the dialog.
    if (ip)
        form.ip = *ip;
    if (mask)
        form.subnet_mask = *mask;
    if (gateway)
        form.gateway = *gateway;
    if (trap_ip)
        form.trap_ip = *trap_ip;
    if (const auto v = args.Value("group-interval"))
        form.group_interval_text = *v;
    // The dialog's boxes take no more than 20 characters.
    for (std::string* text : {&form.system_name, &form.location}) {
        if (text->size() > 20) {
            std::fprintf(stderr, "kestrel-cli: system name and location take at most 20 "
                                 "characters\n");
            return kExitRefusedInput;
        }
    }
    const ListRowCounts rows{tables.discovery.count(), tables.monitor.count()};
    return RunAndAwait(
        session, agent, SetVariant::Configuration,
        [&]() -> std::optional<SetPayload> {
            const ConfigurationResult result = ReadConfiguration(form, tables, agent, rows);
            if (result.failure)
                notifier.Show(*result.failure);
            return result.request;
        },
        common.timeout_ms);
}

int RunPasswd(const ParsedArgs& args) {
    Common common;
    if (const int code = ReadCommon(args, "passwd", common))
        return code;
    int code = kExitOk;
    const auto current = NeedSecret(args, Secret::Current, kPasswordLengthBetween, code);
    const auto renewed = code == kExitOk
                             ? NeedSecret(args, Secret::New, kPasswordLengthBetween, code)
                             : std::nullopt;
    if (code != kExitOk)
        return code;

    CliNotifier notifier;
    CliSession session(notifier);
    ChosenAgent agent;
    if (const int found = Prepare(session, common, SetCommandKind::PasswordChange, agent))
        return found;
    // The new password is given once; typing it twice is the terminal's job.
    const PasswordChangeResult result =
        ReadPasswordChange({.original = *current, .new_password = *renewed, .confirm = *renewed},
                           agent.Record(session.tables()));
    if (result.failure) {
        notifier.Show(*result.failure);
        return kExitRefusedInput;
    }
    const SetPayload payload{*result.working, DhcpChange::Untouched};
    return RunAndAwait(
        session, agent, SetVariant::Password, [&] { return std::optional(payload); },
        common.timeout_ms);
}

int RunDhcpRefresh(const ParsedArgs& args) {
    Common common;
    if (const int code = ReadCommon(args, "dhcp-refresh", common))
        return code;
    int code = kExitOk;
    // The dialog's field takes no more than 20 characters; nothing is cut.
    const auto password = NeedSecret(args, Secret::Current, kPasswordLength, code);
    if (code != kExitOk)
        return code;

    CliNotifier notifier;
    CliSession session(notifier);
    ChosenAgent agent;
    if (const int found = Prepare(session, common, SetCommandKind::DhcpRefresh, agent))
        return found;
    return RunAndAwait(
        session, agent, SetVariant::DhcpRefresh,
        [&] {
            return std::optional(
                SetPayload{DhcpRefreshWorking(agent.Record(session.tables()), *password),
                           DhcpChange::SwitchOn});
        },
        common.timeout_ms);
}

} // namespace kestrel::cli
