// serve: reads its options and runs the service (Service.h).

#include "ServeCommand.h"

#include "ExitCodes.h"
#include "Service.h"

#include <cstdio>

namespace kestrel::cli {

CommandEntry ServeCommand() {
    return {"serve",
            "[--metrics ADDRESS:PORT] [--refresh SECONDS] [--state-dir DIR] [--config-dir DIR]",
            "Runs the window's polling, alive check, traps, keep-alive and syslog.log as\n"
            "a service: metrics for Prometheus at http://ADDRESS:PORT/metrics (default\n"
            "127.0.0.1:19823), events to the systemd journal (standard error outside\n"
            "systemd). define.ecf from the configuration folder (default\n"
            "/etc/kestrel-utility; else the one installed with the program),\n"
            "monitor.cfg and syslog.log in the state folder\n"
            "(default /var/lib/kestrel-utility); KESTREL_CFG_DIR sets both. SIGHUP\n"
            "reloads monitor.cfg, SIGTERM ends it (status 0).\n",
            {},
            {{"metrics", 0, "ADDRESS:PORT", "Where to serve /metrics (default 127.0.0.1:19823)"},
             {"refresh", 0, "SECONDS", "Polling period in whole seconds (default 15)"},
             {"state-dir", 0, "DIR", "Folder of monitor.cfg and syslog.log"},
             {"config-dir", 0, "DIR", "Folder of define.ecf"}},
            RunServe};
}

int RunServe(const CommandArgs& args) {
    serve::ServeOptions options;
    options.state_dir = args.Value("state-dir");
    options.config_dir = args.Value("config-dir");
    if (const auto text = args.Value("metrics")) {
        const auto address = serve::ParseListenAddress(*text);
        if (!address) {
            std::fprintf(stderr, "kestrel-cli serve: --metrics takes ADDRESS:PORT, for example "
                                 "127.0.0.1:19823 or [::1]:19823\n");
            return kExitUsage;
        }
        options.metrics = *address;
    }
    if (const auto text = args.Value("refresh")) {
        const auto seconds = ParseSeconds(*text, 1);
        if (!seconds) {
            std::fprintf(stderr, "kestrel-cli serve: --refresh takes whole seconds, 1 or more\n");
            return kExitUsage;
        }
        options.refresh_seconds = *seconds;
    }
    if (!args.positional.empty()) {
        std::fprintf(stderr, "kestrel-cli serve: takes no %s\n", args.positional.front().c_str());
        return kExitUsage;
    }
    return serve::RunService(options);
}

} // namespace kestrel::cli
