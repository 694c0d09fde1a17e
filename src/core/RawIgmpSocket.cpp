#include "RawIgmpSocket.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>

#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kestrel {

namespace {

constexpr int kHelperWaitMs = 2000;

int ReceiveDescriptor(int from) {
    pollfd ready{from, POLLIN, 0};
    if (::poll(&ready, 1, kHelperWaitMs) != 1)
        return -1;
    char byte = 0;
    iovec data{&byte, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    if (::recvmsg(from, &message, MSG_CMSG_CLOEXEC) != 1)
        return -1;
    const cmsghdr* header = CMSG_FIRSTHDR(&message);
    if (header == nullptr || header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS ||
        header->cmsg_len != CMSG_LEN(sizeof(int)))
        return -1;
    int fd = -1;
    std::memcpy(&fd, CMSG_DATA(header), sizeof fd);
    // Only a raw IGMP socket is taken; anything else is closed.
    int type = 0;
    int protocol = 0;
    socklen_t size = sizeof type;
    const bool raw = ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &size) == 0 && type == SOCK_RAW;
    size = sizeof protocol;
    const bool igmp = ::getsockopt(fd, SOL_SOCKET, SO_PROTOCOL, &protocol, &size) == 0 &&
                      protocol == IPPROTO_IGMP;
    if (raw && igmp)
        return fd;
    ::close(fd);
    return -1;
}

} // namespace

int OpenRawIgmpSocket() {
    // The system builds the IP header; the multicast TTL stays at its
    // default of 1, as a membership report wants.
    return ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_IGMP);
}

int ReceiveRawIgmpSocket(const QString& helper) {
    if (helper.isEmpty() || !QFileInfo(helper).isExecutable())
        return -1;
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pair[1], STDOUT_FILENO);
    QByteArray path = QFile::encodeName(helper);
    char* argv[] = {path.data(), nullptr};
    pid_t child = -1;
    const int spawned = ::posix_spawn(&child, path.constData(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pair[1]);
    int fd = -1;
    if (spawned == 0) {
        fd = ReceiveDescriptor(pair[0]);
        if (fd < 0)
            ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
    }
    ::close(pair[0]);
    return fd;
}

QString RawIgmpHelperPath(const QString& program_dir) {
    const QString name = QStringLiteral("kestrel-igmp-socket");
    const QString beside = QDir(program_dir).filePath(name);
    if (QFileInfo(beside).isFile())
        return beside;
    return QDir::cleanPath(program_dir + QStringLiteral("/../libexec/kestrel-utility/") + name);
}

} // namespace kestrel
