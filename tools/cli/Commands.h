#pragma once
// The subcommands: what each takes (for the parser and its --help) and the
// function that runs it, which returns its exit status (ExitCodes.h).

#include "CommandArgs.h"

#include <span>
#include <string>
#include <vector>

namespace kestrel::cli {

struct OptionSpec {
    const char* name;                 // long name, without "--"
    char short_name = 0;              // 0: none
    const char* value_name = nullptr; // nullptr: a switch
    const char* description = "";
};

struct PositionalSpec {
    const char* name; // as --help shows it, e.g. "TARGET..."
    const char* description;
};

struct CommandSpec {
    const char* name;
    const char* synopsis;    // what follows the name in a usage line
    const char* description; // what it does, a few lines
    std::vector<PositionalSpec> positionals;
    std::vector<OptionSpec> options; // its own, besides GlobalOptions()
    int (*run)(const CommandArgs& args);
    // What a usage error returns: 1, except where 1 already means a result
    // (inventory diff: they differ).
    int usage_exit = 1;
};

int RunDiscover(const CommandArgs& args);
int RunMonitor(const CommandArgs& args);
int RunWatch(const CommandArgs& args);
int RunSet(const CommandArgs& args);
int RunPasswd(const CommandArgs& args);
int RunDhcpRefresh(const CommandArgs& args);
int RunUpgrade(const CommandArgs& args);
int RunInventory(const CommandArgs& args);

// Every command takes these, before or after its name.
std::span<const OptionSpec> GlobalOptions();
std::span<const CommandSpec> AllCommands();
const CommandSpec* FindCommand(const std::string& name);

std::string ProgramUsage();
std::string CommandUsage(const CommandSpec& command);

} // namespace kestrel::cli
