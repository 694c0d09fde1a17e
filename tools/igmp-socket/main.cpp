// kestrel-igmp-socket: opens a raw IGMP socket and hands it to the program
// that started it over its standard output, which must be a Unix socket
// (SCM_RIGHTS), then ends. The package gives this small program alone the
// CAP_NET_RAW capability (or, where the file system keeps none, the set-user
// bit), so the utility itself runs unprivileged.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr const char* kUsage =
    "Usage: kestrel-igmp-socket\n"
    "Opens a raw IGMP socket and passes it over standard output, which must be\n"
    "a Unix socket, to the Kestrel Utility that started it. Not run by hand.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n";

bool SendDescriptor(int over, int fd) {
    char byte = 0;
    iovec data{&byte, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
    return ::sendmsg(over, &message, MSG_NOSIGNAL) == 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1) {
        const std::string_view arg = argv[1];
        if (argc == 2 && (arg == "--help" || arg == "-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (argc == 2 && arg == "--version") {
            std::puts("kestrel-igmp-socket " KESTREL_VERSION);
            return 0;
        }
        std::fprintf(stderr,
                     "kestrel-igmp-socket: unknown option '%s'\n"
                     "Try 'kestrel-igmp-socket --help' for more information.\n",
                     argv[1]);
        return 2;
    }
    const int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_IGMP);
    const int open_error = errno;
    // The privilege was for that one call; what follows runs without it.
    if (::setgid(::getgid()) != 0 || ::setuid(::getuid()) != 0)
        return 1;
    if (fd < 0) {
        std::fprintf(stderr, "kestrel-igmp-socket: cannot open a raw IGMP socket: %s\n",
                     std::strerror(open_error));
        return 1;
    }
    if (!SendDescriptor(STDOUT_FILENO, fd)) {
        std::fprintf(stderr, "kestrel-igmp-socket: standard output is not a Unix socket: %s\n",
                     std::strerror(errno));
        return 1;
    }
    return 0;
}
