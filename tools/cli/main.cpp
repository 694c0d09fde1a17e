// kestrel-cli: the utility's protocol from the command line, on the same
// libraries as the window and without widgets.

#include "CommandLine.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "StopSignals.h"

#include <QCoreApplication>

#include <cstdio>

using namespace kestrel::cli;

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // --help and --version are answered before anything opens a socket.
    const ParsedCommandLine parsed = ParseCommandLine(arguments);
    switch (parsed.kind) {
    case ParsedCommandLine::Kind::Help:
        std::fputs((parsed.command ? CommandUsage(*parsed.command) : ProgramUsage()).c_str(),
                   stdout);
        return kExitOk;
    case ParsedCommandLine::Kind::Version:
        std::printf("kestrel-cli %s\n", KESTREL_VERSION);
        return kExitOk;
    case ParsedCommandLine::Kind::Error:
        if (parsed.command)
            std::fprintf(stderr, "kestrel-cli %s: %s\nTry 'kestrel-cli %s --help'.\n",
                         parsed.command->name, parsed.error.c_str(), parsed.command->name);
        else
            std::fprintf(stderr, "kestrel-cli: %s\nTry 'kestrel-cli --help'.\n",
                         parsed.error.c_str());
        return parsed.command ? parsed.command->usage_exit : kExitUsage;
    case ParsedCommandLine::Kind::Run:
        break;
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrel-cli"));
    StopSignals::Instance();
    const int code = parsed.command->run(parsed.args);
    // However the command ended, an interrupt is what the caller learns.
    return StopSignals::Received() ? kExitInterrupted : code;
}
