// set, passwd, dhcp-refresh: the set dialogs' checks and datagram, sent to
// the agent found for TARGET; then, unlike the window, the agent's answer is
// awaited and told by the exit status.

#include "CliSession.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "PasswordSource.h"
#include "TargetLookup.h"
#include "config/ConfigurationInput.h"
#include "config/DhcpRefreshInput.h"
#include "config/PasswordChangeInput.h"
#include "monitor/MonitorFile.h"
#include "protocol/dispatch/ProtocolMessages.h"
#include "protocol/set/SetExchange.h"
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

// A password the command needs; a usage error when no source gave one.
std::optional<std::string> NeedSecret(const ParsedArgs& args, Secret which, int& code) {
    std::string error;
    auto secret = ReadSecret(args, which, error);
    if (!secret) {
        std::fprintf(stderr, "kestrel-cli: %s\n",
                     !error.empty() ? error.c_str()
                     : which == Secret::Current
                         ? "no password: give --password, --password-env, --password-stdin "
                           "or KESTREL_PASSWORD"
                         : "no new password: give --new-password, --new-password-env, "
                           "--password-stdin or KESTREL_NEW_PASSWORD");
        code = kExitUsage;
    }
    return secret;
}

// Sends a request once the group membership is renewed, as the dialogs do,
// and waits for the agent's answer: "Set Succesful", or its error status.
using Send = std::function<int()>;

int SendAndAwait(CliSession& session, const Send& send, int timeout_ms) {
    CliNotifier& notifier = session.notifier();
    int sent = -1;
    std::size_t from = 0;
    session.network().sockets().RejoinMulticastGroup([&] {
        from = notifier.shown().size();
        sent = send();
    });
    session.WaitUntil([&] { return sent >= 0; }, 5000);
    if (sent != kExitOk)
        return sent < 0 ? kExitLocalFailure : sent;
    const bool answered = session.WaitUntil(
        [&] { return notifier.Saw(kSetSuccessful, from) || notifier.SawError(from); }, timeout_ms);
    if (notifier.Saw(kSetSuccessful, from))
        return kExitOk;
    if (answered)
        return kExitAgentRefused; // its status has been said
    if (!session.signals().stopped())
        std::fprintf(stderr, "No answer from the agent within %d ms\n", timeout_ms);
    return kExitNoAnswer;
}

// Opens the session, finds the agent and checks the selection.
int Prepare(CliSession& session, const Common& common, SetCommandKind kind) {
    LoadMonitorAtStartUp(common.monitor_file, session.state().monitor, session.lists(),
                         session.notifier());
    if (session.notifier().SawError())
        return kExitLocalFailure;
    if (!session.Open())
        return kExitLocalFailure;
    return SelectTarget(session, common.target, kind, common.timeout_ms);
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
    const auto password = NeedSecret(args, Secret::Current, code);
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
    if (const int found = Prepare(session, common, SetCommandKind::Configuration))
        return found;
    ProgramState& state = session.state();

    // The dialog opened on the agent, then the operator's changes.
    ConfigurationForm form = FormFromRecord(TargetRecord(state));
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
    const ListRowCounts rows{state.discovery.count(), state.monitor.count()};
    return SendAndAwait(
        session,
        [&] {
            const ConfigurationResult result = ReadConfiguration(form, state, rows);
            if (result.failure) {
                notifier.Show(*result.failure);
                return int(kExitRefusedInput);
            }
            return SendSetRequest(state, session.network().sockets(), notifier,
                                  SetVariant::Configuration, result.request->working,
                                  result.request->dhcp_change)
                       ? int(kExitOk)
                       : int(kExitLocalFailure);
        },
        common.timeout_ms);
}

int RunPasswd(const ParsedArgs& args) {
    Common common;
    if (const int code = ReadCommon(args, "passwd", common))
        return code;
    int code = kExitOk;
    const auto current = NeedSecret(args, Secret::Current, code);
    const auto renewed = code == kExitOk ? NeedSecret(args, Secret::New, code) : std::nullopt;
    if (code != kExitOk)
        return code;

    CliNotifier notifier;
    CliSession session(notifier);
    if (const int found = Prepare(session, common, SetCommandKind::PasswordChange))
        return found;
    ProgramState& state = session.state();
    // The new password is given once; typing it twice is the terminal's job.
    const PasswordChangeResult result = ReadPasswordChange(
        {.original = *current, .new_password = *renewed, .confirm = *renewed}, state);
    if (result.failure) {
        notifier.Show(*result.failure);
        return kExitRefusedInput;
    }
    const DeviceRecord working = *result.working;
    return SendAndAwait(
        session,
        [&] {
            return SendSetRequest(state, session.network().sockets(), notifier,
                                  SetVariant::Password, working, DhcpChange::Untouched)
                       ? int(kExitOk)
                       : int(kExitLocalFailure);
        },
        common.timeout_ms);
}

int RunDhcpRefresh(const ParsedArgs& args) {
    Common common;
    if (const int code = ReadCommon(args, "dhcp-refresh", common))
        return code;
    int code = kExitOk;
    const auto password = NeedSecret(args, Secret::Current, code);
    if (code != kExitOk)
        return code;

    CliNotifier notifier;
    CliSession session(notifier);
    if (const int found = Prepare(session, common, SetCommandKind::DhcpRefresh))
        return found;
    ProgramState& state = session.state();
    return SendAndAwait(
        session,
        [&] {
            const DeviceRecord working = DhcpRefreshWorking(state, *password);
            return SendSetRequest(state, session.network().sockets(), notifier,
                                  SetVariant::DhcpRefresh, working, DhcpChange::SwitchOn)
                       ? int(kExitOk)
                       : int(kExitLocalFailure);
        },
        common.timeout_ms);
}

} // namespace kestrel::cli
