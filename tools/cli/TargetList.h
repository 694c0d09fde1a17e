#pragma once
// The agents a fleet command works on, in order: TARGET words, then the
// lines of --targets FILE ("-" is standard input; blank lines and # comments
// skipped), then --all-monitored (every agent of the monitor list). The
// same agent named twice is worked on once.

#include "CommandArgs.h"
#include "TargetLookup.h"
#include "protocol/lists/DeviceTables.h"

#include <span>
#include <string>
#include <vector>

namespace kestrel::cli {

struct NamedTarget {
    std::string text; // as given (an address or MAC)
    Target target;
};

// True when the targets come from standard input (then the password
// cannot: both would read it).
bool TargetsFromStdin(const CommandArgs& args);

// Fills `targets`. Returns kExitOk, or an exit code after saying why: a
// word that is no address, a file that cannot be read (path and reason),
// standard input asked for twice, no target named at all (kExitUsage,
// kExitLocalFailure). A file or monitor list without agents gives none.
int CollectTargets(const CommandArgs& args, std::span<const std::string> words,
                   const DeviceTable& monitor, std::vector<NamedTarget>& targets);

// The lines of a targets file's text, comments and blanks dropped, each
// trimmed: what CollectTargets reads from FILE.
std::vector<std::string> TargetLines(const std::string& text);

} // namespace kestrel::cli
