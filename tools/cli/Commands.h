#pragma once
// The subcommands; each returns its exit status (ExitCodes.h).

#include "ArgParse.h"

#include <set>
#include <string>

namespace kestrel::cli {

struct CommandSpec {
    const char* name;
    const char* usage; // shown by --help
    std::set<std::string> valued;
    std::set<std::string> switches;
    int (*run)(const ParsedArgs& args);
};

int RunDiscover(const ParsedArgs& args);
int RunMonitor(const ParsedArgs& args);
int RunWatch(const ParsedArgs& args);
int RunSet(const ParsedArgs& args);
int RunPasswd(const ParsedArgs& args);
int RunDhcpRefresh(const ParsedArgs& args);
int RunUpgrade(const ParsedArgs& args);

const CommandSpec* FindCommand(const std::string& name);
std::string ProgramUsage();

} // namespace kestrel::cli
