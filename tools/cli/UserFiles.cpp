#include "UserFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrel::cli {

std::string FileProblem(const std::filesystem::path& path, int error) {
    return path.string() + ": " + std::strerror(error);
}

bool CheckReadableFile(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    int error = fd < 0 ? errno : 0;
    if (fd >= 0) {
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode))
            error = EISDIR;
        ::close(fd);
    }
    if (error == 0)
        return true;
    std::fprintf(stderr, "kestrel-cli: %s\n", FileProblem(path, error).c_str());
    return false;
}

} // namespace kestrel::cli
