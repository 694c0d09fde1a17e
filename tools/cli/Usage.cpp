// The subcommands, their options and the words of --help.

#include "Commands.h"
#include "ExitCodes.h"
#include "serve/ServeCommand.h"

#include <algorithm>
#include <array>

namespace kestrel::cli {

namespace {

const std::vector<OptionEntry> kGlobal = {
    {"json", 'j', nullptr, "Data as JSON: one object per agent or event, times in ISO 8601"},
    {"quiet", 'q', nullptr, "Print nothing but errors; the exit status tells the outcome"},
    {"verbose", 'v', nullptr, "Say more on standard error"},
    {"timeout", 't', "SECONDS", "How long to wait for agents' answers (e.g. 2 or 0.5)"},
    {"help", 'h', nullptr, "Show this help (kestrel-cli COMMAND --help: one command)"},
    {"version", 0, nullptr, "Show the version"},
};

const OptionEntry kMonitorFile = {
    "file", 0, "MONITOR.CFG", "The monitor list to use instead of the cfg folder's monitor.cfg"};
const OptionEntry kCsv = {"csv", 0, nullptr, "Data as CSV with a header line"};
const OptionEntry kNoLog = {"no-log", 0, nullptr, "Do not append to syslog.log"};

std::vector<OptionEntry> Join(std::initializer_list<std::vector<OptionEntry>> parts) {
    std::vector<OptionEntry> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

const std::vector<OptionEntry> kPassword = {
    {"password", 0, "PASSWORD", "The agent's password (visible to other users: prefer the next)"},
    {"password-env", 0, "VAR", "The password from the environment variable VAR"},
    {"password-stdin", 0, nullptr, "The password from the first line of standard input"},
};

const std::vector<OptionEntry> kFleet = {
    {"targets", 0, "FILE",
     "Targets from FILE, one a line (- for standard input; blank lines and # comments skipped)"},
    {"all-monitored", 0, nullptr, "Every agent of the monitor list"},
    {"stop-on-failure", 0, nullptr, "Stop at the first agent that fails"},
};

const std::vector<PositionalEntry> kTargets = {
    {"TARGET...", "IP or MAC addresses of agents (none with --targets or --all-monitored)"}};

const std::vector<CommandEntry> kCommands = {
    {"discover",
     "[--timeout SECONDS] [--json|--csv]",
     "Sends the discovery request by broadcast and to the group, as the\n"
     "Discovery button does, and lists every agent that answered within\n"
     "the time (default 2 s): a table, a JSON array with --json, CSV with --csv.\n",
     {},
     {kCsv},
     RunDiscover},
    {"monitor",
     "list|add IP|remove IP|MAC|export|import FILE [--file MONITOR.CFG] [--json|--csv]",
     "Reads and writes the monitor-list file (default monitor.cfg of the cfg\n"
     "folder) with the window's rules: at most 256 agents, duplicates\n"
     "refused, the file replaced whole. Opens no socket.\n",
     {{"ACTION", "list, add IP, remove IP|MAC, export (text for version control: a tab-"
                 "separated table, JSON with --json) or import FILE (that text replaces the "
                 "list; a FILE ending in .cfg is added as the window's Monitor load)"}},
     {kMonitorFile, kCsv},
     RunMonitor},
    {"watch",
     "[--file MONITOR.CFG] [--refresh SECONDS] [--json] [--no-log]",
     "Polls the agents of the monitor list every SECONDS (default 15) with\n"
     "the window's resends and not-alive threshold, and prints one line per\n"
     "change: alive, not alive, trap. Appends to syslog.log as the window\n"
     "does unless --no-log. Ends on SIGINT or SIGTERM (status 130).\n",
     {},
     {kMonitorFile,
      {"refresh", 0, "SECONDS", "Polling period in whole seconds (default 15)"},
      kNoLog},
     RunWatch},
    {"set",
     "TARGET... PASSWORD-OPTION [--system-name TEXT] [--location TEXT] [--ip A]\n"
     "    [--mask A] [--gateway A] [--trap-ip A] [--dhcp on|off] [--group-interval N]",
     "The Configuration setting dialog's Set, agent by agent: what is not\n"
     "given stays as the agent reports it. Waits for each answer (default 3 s).\n"
     "Texts are stored in the agents' 8-bit encoding (Latin-1): a character\n"
     "outside it is refused (status 3).\n",
     kTargets,
     Join({kPassword,
           {{"system-name", 0, "TEXT", "System name (at most 20 characters)"},
            {"location", 0, "TEXT", "Location (at most 20 characters)"},
            {"ip", 0, "A", "IP address"},
            {"mask", 0, "A", "Subnet mask"},
            {"gateway", 0, "A", "Gateway"},
            {"trap-ip", 0, "A", "Trap receiver's IP address"},
            {"dhcp", 0, "on|off", "DHCP on or off"},
            {"group-interval", 0, "N", "Group interval"},
            kMonitorFile},
           kFleet}),
     RunSet},
    {"passwd", "TARGET... PASSWORD-OPTION NEW-PASSWORD-OPTION",
     "The Password change dialog's Set, agent by agent. The new password\n"
     "comes from --new-password P, --new-password-env VAR, the second line of\n"
     "standard input with --password-stdin, or KESTREL_NEW_PASSWORD.\n",
     kTargets,
     Join({kPassword,
           {{"new-password", 0, "PASSWORD", "The new password"},
            {"new-password-env", 0, "VAR", "The new password from the environment variable VAR"},
            kMonitorFile},
           kFleet}),
     RunPasswd},
    {"dhcp-refresh", "TARGET... PASSWORD-OPTION",
     "The DHCP Refresh dialog's Apply, agent by agent; waits for each answer.\n", kTargets,
     Join({kPassword, {kMonitorFile}, kFleet}), RunDhcpRefresh},
    {"upgrade",
     "TARGET... FILE PASSWORD-OPTION [--file MONITOR.CFG] [--no-log]",
     "The Firmware Upgrade dialog's Start, agent after agent (one TFTP transfer\n"
     "at a time): trigger, transfer (on standard error a progress bar on a\n"
     "terminal, else one line per tenth), then whether the agent came back.\n"
     "One verdict per agent on standard output, a summary on standard error.\n",
     {{"TARGET...", "IP or MAC addresses of agents (none with --targets or --all-monitored)"},
      {"FILE", "The firmware image (the last word)"}},
     Join({kPassword, {kMonitorFile, kNoLog}, kFleet}),
     RunUpgrade},
    {"inventory",
     "diff SAVED.json [--timeout SECONDS] [--json]",
     "Runs a discovery and compares it with a saved inventory (monitor export\n"
     "or discover --json output): one line per agent new or missing, one per\n"
     "changed field (firmware version, names, addresses). Exit status 0: the\n"
     "same; 1: they differ; 2: a usage error, SAVED.json missing, unreadable\n"
     "or not an inventory, or a local failure (as diff(1): 1 is never trouble).\n",
     {{"diff", "The action"}, {"SAVED.json", "The saved inventory"}},
     {},
     RunInventory,
     kExitLocalFailure},
    ServeCommand(),
};

std::string OptionLines(std::span<const OptionEntry> options) {
    std::vector<std::pair<std::string, std::string>> lines;
    std::size_t width = 0;
    for (const OptionEntry& o : options) {
        std::string left = o.short_name ? std::string("-") + o.short_name + ", " : "    ";
        left += std::string("--") + o.name;
        if (o.value_name)
            left += std::string(" ") + o.value_name;
        width = std::max(width, left.size());
        lines.emplace_back(std::move(left), o.description);
    }
    std::string text;
    for (const auto& [left, right] : lines)
        text += "  " + left + std::string(width - left.size() + 2, ' ') + right + "\n";
    return text;
}

constexpr const char* kTargetHelp =
    "TARGET is an IP address or a MAC address (12 hex digits, ':' or '-'\n"
    "allowed). An agent of the monitor list is reached by unicast, any\n"
    "other by broadcast and the group, as in the window.\n"
    "PASSWORD-OPTION: --password P, --password-env VAR, --password-stdin\n"
    "(first line of standard input), or KESTREL_PASSWORD in the environment.\n";

} // namespace

std::span<const OptionEntry> GlobalOptions() {
    return kGlobal;
}

std::span<const CommandEntry> AllCommands() {
    return kCommands;
}

const CommandEntry* FindCommand(const std::string& name) {
    for (const CommandEntry& c : kCommands)
        if (name == c.name)
            return &c;
    return nullptr;
}

std::string ProgramUsage() {
    std::string text = "Usage: kestrel-cli [OPTIONS] COMMAND [ARGUMENTS] [OPTIONS]\n"
                       "Finds, watches, configures and upgrades agents from the command line,\n"
                       "with the utility's own protocol, define.ecf and monitor.cfg.\n"
                       "Data goes to standard output; progress, notes and messages to\n"
                       "standard error.\n\n"
                       "Commands:\n";
    for (const CommandEntry& c : kCommands)
        text += std::string("  ") + c.name + " " + c.synopsis + "\n";
    text += "\nGlobal options (before or after the command):\n" + OptionLines(kGlobal) + "\n";
    text += kTargetHelp;
    text += "\n";
    text += kFilesHelp;
    text += "\n";
    text += kExitCodeHelp;
    text += "\nkestrel-cli COMMAND --help shows one command. See kestrel-cli(1).\n";
    return text;
}

std::string CommandUsage(const CommandEntry& command) {
    std::string text = std::string("Usage: kestrel-cli ") + command.name + " " + command.synopsis +
                       "\n" + command.description;
    if (!command.positionals.empty()) {
        text += "\nArguments:\n";
        for (const PositionalEntry& p : command.positionals)
            text += std::string("  ") + p.name + "  " + p.description + "\n";
    }
    if (!command.options.empty())
        text += "\nOptions:\n" + OptionLines(command.options);
    text += "\nGlobal options:\n" + OptionLines(kGlobal);
    text += "\n";
    text += kFilesHelp;
    text += "\n";
    text += kExitCodeHelp;
    return text;
}

} // namespace kestrel::cli
