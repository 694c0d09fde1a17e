// The subcommands, their options and the words of --help.

#include "Commands.h"
#include "ExitCodes.h"

#include <array>

namespace kestrel::cli {

namespace {

const std::array<CommandSpec, 7> kCommands = {{
    {"discover",
     "discover [--timeout SECONDS] [--json]\n"
     "  Sends the discovery request by broadcast and to the group, as the\n"
     "  Discovery button does, and lists every agent that answered within\n"
     "  the time (default 2 s): a table, or a JSON array with --json.\n",
     {"timeout"},
     {"json"},
     RunDiscover},
    {"monitor",
     "monitor list|add IP|remove IP|MAC|import FILE [--file MONITOR.CFG] [--json]\n"
     "  Reads and writes the monitor-list file (default monitor.cfg of the cfg\n"
     "  directory) with the window's rules: at most 256 agents, duplicates\n"
     "  refused, the file replaced whole. Opens no socket.\n",
     {"file"},
     {"json"},
     RunMonitor},
    {"watch",
     "watch [--file MONITOR.CFG] [--refresh SECONDS] [--json] [--no-log]\n"
     "  Polls the agents of the monitor list every SECONDS (default 15) with\n"
     "  the window's resends and not-alive threshold, and prints one line per\n"
     "  change: alive, not alive, trap. Appends to syslog.log as the window\n"
     "  does unless --no-log. Ends on SIGINT or SIGTERM.\n",
     {"file", "refresh"},
     {"json", "no-log"},
     RunWatch},
    {"set",
     "set TARGET PASSWORD-OPTION [--system-name TEXT] [--location TEXT] [--ip A]\n"
     "    [--mask A] [--gateway A] [--trap-ip A] [--dhcp on|off]\n"
     "    [--group-interval N] [--timeout SECONDS] [--file MONITOR.CFG]\n"
     "  The Configuration setting dialog's Set: what is not given stays as the\n"
     "  agent reports it. Waits for the answer (default 3 s).\n",
     {"password", "password-env", "system-name", "location", "ip", "mask", "gateway", "trap-ip",
      "dhcp", "group-interval", "timeout", "file"},
     {"password-stdin"},
     RunSet},
    {"passwd",
     "passwd TARGET PASSWORD-OPTION NEW-PASSWORD-OPTION [--timeout SECONDS]\n"
     "    [--file MONITOR.CFG]\n"
     "  The Password change dialog's Set. The new password comes from\n"
     "  --new-password P, --new-password-env VAR, the second line of standard\n"
     "  input with --password-stdin, or KESTREL_NEW_PASSWORD.\n",
     {"password", "password-env", "new-password", "new-password-env", "timeout", "file"},
     {"password-stdin"},
     RunPasswd},
    {"dhcp-refresh",
     "dhcp-refresh TARGET PASSWORD-OPTION [--timeout SECONDS] [--file MONITOR.CFG]\n"
     "  The DHCP Refresh dialog's Apply; waits for the answer.\n",
     {"password", "password-env", "timeout", "file"},
     {"password-stdin"},
     RunDhcpRefresh},
    {"upgrade",
     "upgrade TARGET FILE PASSWORD-OPTION [--timeout SECONDS] [--file MONITOR.CFG]\n"
     "    [--no-log]\n"
     "  The Firmware Upgrade dialog's Start: trigger, TFTP transfer (a progress\n"
     "  bar on a terminal, lines otherwise), then whether the agent came back.\n",
     {"password", "password-env", "timeout", "file"},
     {"password-stdin", "no-log"},
     RunUpgrade},
}};

} // namespace

const CommandSpec* FindCommand(const std::string& name) {
    for (const CommandSpec& c : kCommands)
        if (name == c.name)
            return &c;
    return nullptr;
}

std::string ProgramUsage() {
    std::string text = "Usage: kestrel-cli COMMAND [ARGUMENTS]\n"
                       "Finds, watches, configures and upgrades agents from the command line,\n"
                       "with the utility's own protocol, define.ecf and monitor.cfg (the cfg\n"
                       "directory beside the program, or KESTREL_CFG_DIR).\n\n"
                       "Commands:\n";
    for (const CommandSpec& c : kCommands)
        text += std::string("  ") + c.usage + "\n";
    text += "TARGET is an IP address or a MAC address (12 hex digits, ':' or '-'\n"
            "allowed). An agent of the monitor list is reached by unicast, any\n"
            "other by broadcast and the group, as in the window.\n"
            "PASSWORD-OPTION: --password P, --password-env VAR, --password-stdin\n"
            "(first line of standard input), or KESTREL_PASSWORD in the environment.\n\n";
    text += kExitCodeHelp;
    text += "\nkestrel-cli COMMAND --help shows one command. See kestrel-cli(1).\n";
    return text;
}

} // namespace kestrel::cli
