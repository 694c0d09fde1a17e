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

namespace {

int Refuse(std::string_view argument) {
    const bool option = argument.size() > 1 && argument.front() == '-';
    std::fprintf(stderr,
                 "kestrel-utility: %s '%.*s'\n"
                 "Try 'kestrel-utility --help' for more information.\n",
                 option ? "unknown option" : "unexpected argument",
                 static_cast<int>(argument.size()), argument.data());
    return kExitUsage;
}

// Qt's own options of the window (QGuiApplication, QApplication), with
// one or two dashes: these take a value (next word or "=VALUE")...
constexpr std::string_view kQtValued[] = {
    "platform",    "platformpluginpath", "platformtheme", "plugin",  "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "session",       "display", "geometry",
    "style",       "stylesheet",         "name",          "title",   "fontengine",
    "dialogs",     "qmljsdebugger"};
// ... and these do not.
constexpr std::string_view kQtSwitches[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

template <std::size_t N> bool OneOf(std::string_view name, const std::string_view (&names)[N]) {
    for (const std::string_view n : names)
        if (n == name)
            return true;
    return false;
}

} // namespace

std::optional<int> RefuseUnknownArguments(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.size() < 2 || arg.front() != '-')
            return Refuse(arg);
        std::string_view name = arg.substr(arg.starts_with("--") ? 2 : 1);
        const auto eq = name.find('=');
        const bool has_value = eq != std::string_view::npos;
        name = name.substr(0, eq);
        if (OneOf(name, kQtValued)) {
            if (!has_value)
                ++i; // its value (a missing one is Qt's to report)
        } else if (!OneOf(name, kQtSwitches) || has_value) {
            return Refuse(arg);
        }
    }
    return std::nullopt;
}

std::optional<int> RefuseLeftoverArguments(const QStringList& arguments) {
    if (arguments.size() <= 1)
        return std::nullopt;
    const QByteArray first = arguments.at(1).toLocal8Bit();
    return Refuse(std::string_view(first.constData(), static_cast<std::size_t>(first.size())));
}

} // namespace kestrel
