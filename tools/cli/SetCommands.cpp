// set, passwd, dhcp-refresh: the set dialogs' checks and datagram, sent to
// each agent named, one after another; unlike the window, each agent's
// answer is awaited. Each agent gets its own result; the exit status is the
// worst agent's (WorstExit.h).

#include "AgentText.h"
#include "CliSession.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "FleetResult.h"
#include "Output.h"
#include "PasswordSource.h"
#include "TargetList.h"
#include "TargetLookup.h"
#include "UserFiles.h"
#include "WorstExit.h"
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
    int timeout_ms = kDefaultTimeoutMs;
    std::filesystem::path monitor_file;
};

int ReadCommon(const CommandArgs& args, Common& common) {
    if (const auto text = args.Value("timeout")) {
        const auto ms = ParseTimeoutMs(*text);
        if (!ms) {
            std::fprintf(stderr, "kestrel-cli: --timeout takes seconds, e.g. 3 or 0.5\n");
            return kExitUsage;
        }
        common.timeout_ms = *ms;
    }
    if (const auto file = args.Value("file")) {
        if (!CheckReadableFile(*file))
            return kExitLocalFailure;
        common.monitor_file = *file;
    } else {
        common.monitor_file = MonitorFilePath(CfgDirectory());
    }
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
    if (session.signals().stopped()) {
        session.notifier().Say(sent ? "Interrupted while waiting for the agent's answer: the "
                                      "set was sent, its outcome is unknown"
                                    : "Interrupted before the set was sent");
        return kExitInterrupted;
    }
    if (!sent)
        return kExitLocalFailure;
    session.notifier().Say("No answer from the agent within " + std::to_string(timeout_ms) + " ms");
    return kExitNoAnswer;
}

// What is done with one agent once it is found and chosen; returns its
// exit code after saying why.
using AgentStep = std::function<int(CliSession&, const ChosenAgent&)>;

// The targets, the session, then each agent in turn.
class Fleet {
public:
    Fleet(const CommandArgs& args, const char* command)
        : args_(args), command_(command), out_(args) {
        notifier_.InformationToStderr(true); // standard output carries the results
        notifier_.Quiet(out_.quiet());
    }

    // Reads the common options, the monitor list and the targets; before
    // the passwords, as --targets - reads standard input.
    int Prepare() {
        if (const int code = ReadCommon(args_, common_))
            return code;
        if (!LoadMonitorAtStartUp(common_.monitor_file, session_.tables().monitor, session_.lists(),
                                  notifier_))
            return kExitLocalFailure;
        return CollectTargets(args_, args_.positional, session_.tables().monitor, targets_);
    }

    int Run(SetCommandKind kind, const AgentStep& step) {
        if (targets_.empty()) {
            out_.Note("No agent to work on");
            return kExitOk;
        }
        if (!session_.Open())
            return kExitLocalFailure;
        WorstExit worst;
        std::size_t done = 0;
        for (const NamedTarget& t : targets_) {
            notifier_.ForgetSaid();
            AgentOutcome outcome;
            outcome.target = t.text;
            ChosenAgent agent;
            outcome.code = SelectTarget(session_, t.target, kind, common_.timeout_ms, agent);
            if (outcome.code == kExitOk) {
                const DeviceRecord& r = agent.Record(session_.tables());
                outcome.ip = FieldText(r.ip_text);
                outcome.mac = FieldText(r.mac_text);
                outcome.code = step(session_, agent);
            }
            if (session_.signals().stopped())
                outcome.code = kExitInterrupted;
            outcome.message = notifier_.said();
            if (outcome.message.empty() && outcome.code == kExitInterrupted)
                outcome.message = "Interrupted";
            PrintOutcome(out_, command_, outcome);
            worst.Add(outcome.code);
            ++done;
            if (outcome.code == kExitInterrupted ||
                (outcome.code != kExitOk && args_.Has("stop-on-failure")))
                break;
        }
        if (done < targets_.size()) {
            std::string rest;
            for (std::size_t i = done; i < targets_.size(); ++i)
                rest += " " + targets_[i].text;
            Output::Error(std::string(worst.code() == kExitInterrupted
                                          ? "Interrupted: not tried:"
                                          : "Stopped at the first failure; not tried:") +
                          rest);
        }
        if (targets_.size() > 1)
            out_.Verbose(std::to_string(done) + " of " + std::to_string(targets_.size()) +
                         " agents tried; exit status " + std::to_string(worst.code()));
        return worst.code();
    }

    CliNotifier& notifier() { return notifier_; }
    const Common& common() const { return common_; }

private:
    const CommandArgs& args_;
    const char* command_;
    Output out_;
    CliNotifier notifier_;
    CliSession session_{notifier_};
    Common common_;
    std::vector<NamedTarget> targets_;
};

std::optional<uint32_t> AddressOption(const CommandArgs& args, const char* name, int& code) {
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

// A text option in the agents' encoding; refused (code 3) when it holds a
// character they cannot store.
std::optional<std::string> TextOption(const CommandArgs& args, const char* name, int& code) {
    const auto text = args.Text(name);
    if (!text)
        return std::nullopt;
    auto bytes = ToAgentText(*text, std::string("--") + name);
    if (!bytes && code == kExitOk)
        code = kExitRefusedInput;
    return bytes;
}

// A password typed as UTF-8 is sent as the agents' 8-bit text, as the
// window sends what is typed into its password fields.
std::optional<std::string> PasswordBytes(std::optional<std::string> utf8, const char* what,
                                         int& code) {
    if (!utf8)
        return utf8;
    auto bytes = ToAgentText(QString::fromUtf8(*utf8), what);
    if (!bytes)
        code = kExitRefusedInput;
    return bytes;
}

} // namespace

int RunSet(const CommandArgs& args) {
    int code = kExitOk;
    const auto ip = AddressOption(args, "ip", code);
    const auto mask = AddressOption(args, "mask", code);
    const auto gateway = AddressOption(args, "gateway", code);
    const auto trap_ip = AddressOption(args, "trap-ip", code);
    const auto dhcp = args.Value("dhcp");
    if (dhcp && *dhcp != "on" && *dhcp != "off") {
        std::fprintf(stderr, "kestrel-cli: --dhcp takes on or off\n");
        code = kExitUsage;
    }
    const auto system_name = TextOption(args, "system-name", code);
    const auto location = TextOption(args, "location", code);
    // The dialog's boxes take no more than 20 characters.
    for (const auto* text : {&system_name, &location}) {
        if (code == kExitOk && *text && (*text)->size() > 20) {
            std::fprintf(stderr, "kestrel-cli: system name and location take at most 20 "
                                 "characters\n");
            code = kExitRefusedInput;
        }
    }
    if (code != kExitOk)
        return code;
    Fleet fleet(args, "set");
    if (const int prepared = fleet.Prepare())
        return prepared;
    const auto password = PasswordBytes(NeedSecret(args, Secret::Current, kPasswordLength, code),
                                        "the password", code);
    if (code != kExitOk)
        return code;

    return fleet.Run(
        SetCommandKind::Configuration, [&](CliSession& session, const ChosenAgent& agent) {
            CliNotifier& notifier = session.notifier();
            const DeviceTables& tables = session.tables();
            // The dialog opened on the agent, then the operator's changes.
            ConfigurationForm form = FormFromRecord(agent.Record(tables));
            const bool dhcp_reported = form.dhcp_enable_checked || form.dhcp_disable_checked;
            if (dhcp && !dhcp_reported) {
                notifier.Say("The agent does not report DHCP: --dhcp cannot be set");
                return static_cast<int>(kExitRefusedInput);
            }
            if (args.Value("group-interval") && !form.group_interval_enabled) {
                notifier.Say("The agent does not report a group interval: --group-interval "
                             "cannot be set");
                return static_cast<int>(kExitRefusedInput);
            }
            form.password = *password;
            if (system_name)
                form.system_name = *system_name;
            if (location)
                form.location = *location;
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
            const ListRowCounts rows{tables.discovery.count(), tables.monitor.count()};
            return RunAndAwait(
                session, agent, SetVariant::Configuration,
                [&]() -> std::optional<SetPayload> {
                    const ConfigurationResult result = ReadConfiguration(form, tables, agent, rows);
                    if (result.failure)
                        notifier.Show(*result.failure);
                    return result.request;
                },
                fleet.common().timeout_ms);
        });
}

int RunPasswd(const CommandArgs& args) {
    Fleet fleet(args, "passwd");
    if (const int prepared = fleet.Prepare())
        return prepared;
    int code = kExitOk;
    const auto current = PasswordBytes(
        NeedSecret(args, Secret::Current, kPasswordLengthBetween, code), "the password", code);
    const auto renewed =
        code == kExitOk ? PasswordBytes(NeedSecret(args, Secret::New, kPasswordLengthBetween, code),
                                        "the new password", code)
                        : std::nullopt;
    if (code != kExitOk)
        return code;

    return fleet.Run(SetCommandKind::PasswordChange,
                     [&](CliSession& session, const ChosenAgent& agent) {
                         // The new password is given once; typing it twice is the terminal's job.
                         const PasswordChangeResult result = ReadPasswordChange(
                             {.original = *current, .new_password = *renewed, .confirm = *renewed},
                             agent.Record(session.tables()));
                         if (result.failure) {
                             session.notifier().Show(*result.failure);
                             return static_cast<int>(kExitRefusedInput);
                         }
                         const SetPayload payload{*result.working, DhcpChange::Untouched};
                         return RunAndAwait(
                             session, agent, SetVariant::Password,
                             [&] { return std::optional(payload); }, fleet.common().timeout_ms);
                     });
}

int RunDhcpRefresh(const CommandArgs& args) {
    Fleet fleet(args, "dhcp-refresh");
    if (const int prepared = fleet.Prepare())
        return prepared;
    int code = kExitOk;
    // The dialog's field takes no more than 20 characters; nothing is cut.
    const auto password = PasswordBytes(NeedSecret(args, Secret::Current, kPasswordLength, code),
                                        "the password", code);
    if (code != kExitOk)
        return code;

    return fleet.Run(
        SetCommandKind::DhcpRefresh, [&](CliSession& session, const ChosenAgent& agent) {
            return RunAndAwait(
                session, agent, SetVariant::DhcpRefresh,
                [&] {
                    return std::optional(
                        SetPayload{DhcpRefreshWorking(agent.Record(session.tables()), *password),
                                   DhcpChange::SwitchOn});
                },
                fleet.common().timeout_ms);
        });
}

} // namespace kestrel::cli
