#pragma once
// The whole command line read the GNU way (QCommandLineParser): options
// before or after the subcommand, "--opt=value", short forms bundled
// ("-jq"), "--" ending the options. The first positional word is the
// subcommand; global options and the subcommand's own are accepted
// anywhere.

#include "CommandArgs.h"
#include "Commands.h"

#include <QStringList>

#include <string>

namespace kestrel::cli {

struct ParsedCommandLine {
    enum class Kind {
        Run,     // run `command` with `args`
        Help,    // --help: of `command`, or of the program when it is null
        Version, // --version
        Error,   // a usage error, said by `error`; `command` when known
    };
    Kind kind = Kind::Error;
    const CommandEntry* command = nullptr;
    CommandArgs args;
    std::string error;
};

// `arguments` as main() got them, the program's name first.
ParsedCommandLine ParseCommandLine(const QStringList& arguments);

} // namespace kestrel::cli
