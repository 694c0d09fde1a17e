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
};

inline constexpr const char* kExitCodeHelp =
    "Exit status:\n"
    "  0  done (set: the agent said \"Set Succesful\"; upgrade: it came back)\n"
    "  1  usage error\n"
    "  2  local failure: define.ecf, the monitor file, a socket or a send\n"
    "  3  input refused by the same checks as the window's dialogs\n"
    "  4  the target did not answer the lookup (silent or absent)\n"
    "  5  the agent answered with an error status (e.g. password error)\n"
    "  6  no answer to the request within the timeout (upgrade: Trigger fail)\n"
    "  7  the firmware transfer failed\n"
    "  8  the image was sent but the agent did not come back\n";

} // namespace kestrel::cli
