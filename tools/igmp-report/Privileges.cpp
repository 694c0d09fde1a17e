#include "Privileges.h"

#include <cerrno>

#include <fcntl.h>
#include <linux/capability.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kestrel::igmp_report {

namespace {

// The raw socket must not become standard input, output or error: a message
// meant for the caller would be written into it.
bool StandardDescriptorsOpen() {
    for (int fd = 0; fd <= 2; ++fd)
        if (::fcntl(fd, F_GETFD) < 0 && ::open("/dev/null", O_RDWR | O_NOCTTY) != fd)
            return false;
    return true;
}

bool Capabilities(__user_cap_data_struct (&data)[2]) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return ::syscall(SYS_capget, &header, data) == 0;
}

// Back to the caller's user and group; supplementary groups are the caller's
// own already.
bool DropIdentity() {
    const gid_t gid = ::getgid();
    const uid_t uid = ::getuid();
    return ::setresgid(gid, gid, gid) == 0 && ::setresuid(uid, uid, uid) == 0;
}

bool DropCapabilities() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[2] = {};
    return ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) == 0 &&
           ::syscall(SYS_capset, &header, none) == 0;
}

// Checked rather than trusted: a drop that half worked ends the program.
bool NothingLeft() {
    __user_cap_data_struct data[2] = {};
    if (!Capabilities(data))
        return false;
    for (const __user_cap_data_struct& d : data)
        if (d.effective != 0 || d.permitted != 0 || d.inheritable != 0)
            return false;
    uid_t ruid = 0, euid = 0, suid = 0;
    gid_t rgid = 0, egid = 0, sgid = 0;
    return ::getresuid(&ruid, &euid, &suid) == 0 && ruid == euid && euid == suid &&
           ::getresgid(&rgid, &egid, &sgid) == 0 && rgid == egid && egid == sgid &&
           ::prctl(PR_GET_NO_NEW_PRIVS, 0, 0, 0, 0) == 1;
}

} // namespace

RawSocket OpenRawSocketThenDropPrivileges() {
    RawSocket raw;
    if (!StandardDescriptorsOpen() || ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return raw;
    raw.fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_IGMP);
    raw.error = errno;
    raw.dropped = DropIdentity() && DropCapabilities() && NothingLeft();
    if (!raw.dropped && raw.fd >= 0) {
        ::close(raw.fd);
        raw.fd = -1;
    }
    return raw;
}

} // namespace kestrel::igmp_report
