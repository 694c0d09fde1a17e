#pragma once
// Files the user names on the command line: a missing or unreadable one is
// an error that says which file and the system's reason, never a silent
// empty list.

#include <filesystem>
#include <string>

namespace kestrel::cli {

// "PATH: REASON" with the system's text for errno `error`.
std::string FileProblem(const std::filesystem::path& path, int error);

// True when `path` can be opened for reading as a file; else says
// "kestrel-cli: PATH: REASON" on standard error.
bool CheckReadableFile(const std::filesystem::path& path);

} // namespace kestrel::cli
