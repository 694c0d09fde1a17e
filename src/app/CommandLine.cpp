#include "CommandLine.h"

#include <cstdio>
#include <string_view>

namespace kestrel {

namespace {

constexpr const char* kHelp =
    "Usage: kestrel-utility [OPTION]...\n"
    "Finds, watches, configures and upgrades the managed switches of the LAN.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "  -v, --version  show the version and exit\n"
    "Qt's own options, such as -platform NAME or -style NAME, are accepted too.\n"
    "\n"
    "The settings (define.ecf), the monitor list (monitor.cfg) and the event log\n"
    "(syslog.log) are kept in the first of these folders:\n"
    "  $KESTREL_CFG_DIR, when it is set;\n"
    "  cfg beside the program, when that folder exists (a portable copy);\n"
    "  $XDG_CONFIG_HOME/kestrel-utility, normally ~/.config/kestrel-utility,\n"
    "  made on the first start with a copy of the installed define.ecf.\n";

constexpr int kExitUsage = 2;

} // namespace

std::optional<int> AnswerInfoOptions(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (arg == "--version" || arg == "-v") {
            std::puts("kestrel-utility " KESTREL_VERSION);
            return 0;
        }
    }
    return std::nullopt;
}

std::optional<int> RefuseLeftoverArguments(const QStringList& arguments) {
    if (arguments.size() <= 1)
        return std::nullopt;
    const QByteArray first = arguments.at(1).toLocal8Bit();
    const bool option = first.startsWith('-');
    std::fprintf(stderr,
                 "kestrel-utility: %s '%s'\n"
                 "Try 'kestrel-utility --help' for more information.\n",
                 option ? "unknown option" : "unexpected argument", first.constData());
    return kExitUsage;
}

} // namespace kestrel
