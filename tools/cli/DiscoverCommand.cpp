// discover: the Discovery button's request, then every agent that answered
// within the time.

#include "AgentFormat.h"
#include "CliSession.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "Output.h"
#include "TerminalText.h"
#include "protocol/lists/RowTexts.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>
#include <optional>

namespace kestrel::cli {

int RunDiscover(const CommandArgs& args) {
    int timeout_ms = 2000;
    if (const auto text = args.Value("timeout")) {
        const auto ms = ParseTimeoutMs(*text);
        if (!ms) {
            std::fprintf(stderr, "kestrel-cli: --timeout takes seconds, e.g. 2 or 0.5\n");
            return kExitUsage;
        }
        timeout_ms = *ms;
    }
    const Output out(args);
    CliNotifier notifier;
    notifier.InformationToStderr(true); // standard output carries the list
    notifier.Quiet(out.quiet());
    CliSession session(notifier);
    if (!session.Open())
        return kExitLocalFailure;

    if (!session.Discover(timeout_ms))
        return kExitLocalFailure;

    const auto agents = session.tables().discovery.InUse();
    // Stopped early by a signal, it still lists who answered so far, and
    // says so by its status (130, from main).
    if (session.signals().stopped())
        out.Note("Interrupted: the agents that answered so far");
    if (out.json()) {
        QJsonArray array;
        for (const DeviceRecord& r : agents)
            array.append(AgentJson(r));
        out.JsonArray(array);
    } else {
        out.Table(kDiscoveryColumnTitles, DiscoveryRows(agents));
    }
    return kExitOk;
}

} // namespace kestrel::cli
