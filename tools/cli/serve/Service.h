#pragma once
// kestrel-cli serve: the window's watching without a window. define.ecf,
// the one-instance guard, monitor.cfg, the three sockets, then polling, the
// alive check and the keep-alive in the window's order; metrics over HTTP,
// events to the journal, syslog.log as ever. SIGHUP reloads the monitor
// list, SIGTERM ends it.

#include "MetricsServer.h"

#include <optional>
#include <string>

namespace kestrel::serve {

inline constexpr int kDefaultRefreshSeconds = 15;

struct ServeOptions {
    std::optional<std::string> state_dir, config_dir;
    ListenAddress metrics{kDefaultMetricsAddress, kDefaultMetricsPort};
    int refresh_seconds = kDefaultRefreshSeconds;
};

// The exit status: 0 after SIGTERM, 130 after SIGINT, 2 when it could not
// start (files, sockets, the metrics port, the ports held by another program).
int RunService(const ServeOptions& options);

} // namespace kestrel::serve
