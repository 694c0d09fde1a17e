#include "ServiceFolders.h"

#include <cstdlib>

namespace kestrel::serve {

namespace {

std::optional<std::string> Env(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value)
        return std::nullopt;
    return std::string(value);
}

// systemd lists several folders separated by colons when the unit names
// several; ours names one.
std::optional<std::string> First(std::optional<std::string> list) {
    if (list)
        list = list->substr(0, list->find(':'));
    return list;
}

} // namespace

ServiceFolders ResolveServiceFolders(const FolderInputs& in) {
    const auto pick = [&](const std::optional<std::string>& option,
                          const std::optional<std::string>& unit_env, const char* fallback) {
        if (option)
            return std::filesystem::path(*option);
        if (in.cfg_dir_env)
            return std::filesystem::path(*in.cfg_dir_env);
        if (const auto first = First(unit_env))
            return std::filesystem::path(*first);
        return std::filesystem::path(fallback);
    };
    return {pick(in.state_option, in.state_env, kDefaultStateDir),
            pick(in.config_option, in.config_env, kDefaultConfigDir)};
}

FolderInputs EnvironmentFolderInputs(std::optional<std::string> state_option,
                                     std::optional<std::string> config_option) {
    return {std::move(state_option), std::move(config_option), Env("KESTREL_CFG_DIR"),
            Env("STATE_DIRECTORY"), Env("CONFIGURATION_DIRECTORY")};
}

} // namespace kestrel::serve
