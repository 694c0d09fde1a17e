// kestrel-cli: the utility's protocol from the command line, on the same
// libraries as the window and without widgets.

#include "ArgParse.h"
#include "Commands.h"
#include "ExitCodes.h"

#include <QCoreApplication>

#include <cstdio>
#include <string>
#include <vector>

using namespace kestrel::cli;

int main(int argc, char* argv[]) {
    std::vector<std::string> words(argv + 1, argv + argc);
    // --help and --version are answered before anything opens a socket.
    if (words.empty() || words[0] == "--help" || words[0] == "-h" || words[0] == "help") {
        std::fputs(ProgramUsage().c_str(), words.empty() ? stderr : stdout);
        return words.empty() ? kExitUsage : kExitOk;
    }
    if (words[0] == "--version") {
        std::printf("kestrel-cli %s\n", KESTREL_VERSION);
        return kExitOk;
    }
    const CommandSpec* command = FindCommand(words[0]);
    if (!command) {
        std::fprintf(stderr, "kestrel-cli: unknown command %s (kestrel-cli --help)\n",
                     words[0].c_str());
        return kExitUsage;
    }
    const ParsedArgs args =
        ParseArgs({words.begin() + 1, words.end()}, command->valued, command->switches);
    if (args.help) {
        std::printf("Usage: kestrel-cli %s\n%s", command->usage, kExitCodeHelp);
        return kExitOk;
    }
    if (!args.error.empty()) {
        std::fprintf(stderr, "kestrel-cli %s: %s\nUsage: kestrel-cli %s", command->name,
                     args.error.c_str(), command->usage);
        return kExitUsage;
    }
    QCoreApplication app(argc, argv);
    return command->run(args);
}
