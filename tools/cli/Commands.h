#pragma once
// The subcommands: what each takes (for the parser and its --help) and the
// function that runs it, which returns its exit status (ExitCodes.h).

#include "CommandArgs.h"

#include <span>
#include <string>
#include <vector>

namespace kestrel::cli {

struct OptionEntry {
    const char* name;                 // long name, without "--"
    char short_name = 0;              // 0: none
    const char* value_name = nullptr; // nullptr: a switch
    const char* description = "";
};

struct PositionalEntry {
    const char* name; // as --help shows it, e.g. "TARGET..."
    const char* description;
};

struct CommandEntry {
    const char* name;
    const char* synopsis;    // what follows the name in a usage line
    const char* description; // what it does, a few lines
    std::vector<PositionalEntry> positionals;
    std::vector<OptionEntry> options; // its own, besides GlobalOptions()
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
std::span<const OptionEntry> GlobalOptions();
std::span<const CommandEntry> AllCommands();
const CommandEntry* FindCommand(const std::string& name);

std::string ProgramUsage();
std::string CommandUsage(const CommandEntry& command);

} // namespace kestrel::cli
