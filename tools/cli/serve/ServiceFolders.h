#pragma once
// Where the service keeps its files: define.ecf in the configuration folder,
// monitor.cfg and syslog.log in the state folder. First match wins for each:
//   1. the command-line option (--state-dir, --config-dir);
//   2. KESTREL_CFG_DIR, for both (tests, a second setup);
//   3. what systemd hands the unit (STATE_DIRECTORY, CONFIGURATION_DIRECTORY);
//   4. /var/lib/kestrel-utility and /etc/kestrel-utility.

#include <filesystem>
#include <optional>
#include <string>

namespace kestrel::serve {

inline constexpr const char* kDefaultStateDir = "/var/lib/kestrel-utility";
inline constexpr const char* kDefaultConfigDir = "/etc/kestrel-utility";

struct ServiceFolders {
    std::filesystem::path state;
    std::filesystem::path config;
};

struct FolderInputs {
    std::optional<std::string> state_option, config_option;
    std::optional<std::string> cfg_dir_env, state_env, config_env; // unset when empty
};

ServiceFolders ResolveServiceFolders(const FolderInputs& in);
// The inputs of this process's environment, with the options given.
FolderInputs EnvironmentFolderInputs(std::optional<std::string> state_option,
                                     std::optional<std::string> config_option);

} // namespace kestrel::serve
