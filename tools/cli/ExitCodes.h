#pragma once
// What kestrel-cli's exit status says, for scripts. The same table is in
// --help and in the manual page.

namespace kestrel::cli {

enum ExitCode : int {
    kExitOk = 0,
    kExitUsage = 1,          // unknown command or option, missing argument
    kExitLocalFailure = 2,   // define.ecf, monitor file, sockets, a failed send
    kExitRefusedInput = 3,   // the window's own input checks refused it
    kExitNotFound = 4,       // the target did not answer (silent or absent)
    kExitAgentRefused = 5,   // the agent answered with an error status
    kExitNoAnswer = 6,       // no answer to the request in time ("Trigger fail")
    kExitTransferFailed = 7, // the firmware transfer failed
    kExitNotBack = 8,        // transferred, but the agent did not come back
    kExitInterrupted = 130,  // SIGINT or SIGTERM ended it (128 + SIGINT)
};

inline constexpr const char* kExitCodeHelp =
    "Exit status:\n"
    "  0    done (set: the agent said \"Set Succesful\"; upgrade: it came back)\n"
    "  1    usage error\n"
    "  2    local failure: define.ecf, the monitor file, a file named on the\n"
    "       command line, a socket, a send, or the ports held by another program\n"
    "  3    input refused by the same checks as the window's dialogs (also a\n"
    "       text with a character the agents cannot store)\n"
    "  4    the target did not answer the lookup (silent or absent)\n"
    "  5    the agent answered with an error status (e.g. password error)\n"
    "  6    no answer to the request within the timeout (upgrade: Trigger fail)\n"
    "  7    the firmware transfer failed\n"
    "  8    the image was sent but the agent did not come back\n"
    "  130  interrupted by SIGINT (Ctrl-C) or SIGTERM, after saying what is known\n"
    "With several targets the status is the worst agent's: 130 above all, then\n"
    "1, then 2, then 8 down to 3, then 0.\n";

inline constexpr const char* kFilesHelp =
    "Files: define.ecf, monitor.cfg and syslog.log are looked up in the first of\n"
    "  1. $KESTREL_CFG_DIR, when set;\n"
    "  2. the folder \"cfg\" beside the program, when it exists;\n"
    "  3. the per-user folder $XDG_CONFIG_HOME/kestrel-utility, normally\n"
    "     ~/.config/kestrel-utility; made on first use with a copy of the\n"
    "     define.ecf installed with the program, as the window does.\n";

} // namespace kestrel::cli
