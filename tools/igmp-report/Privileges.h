#pragma once
// The helper's one privileged act. It runs with CAP_NET_RAW (a file
// capability, an ambient one, or set-user-ID root), opens its raw IGMP socket
// first thing and then gives up everything: the set-user-ID identity, every
// capability in every set, and any way to gain one again (no_new_privs). Only
// then are the arguments read.

namespace kestrel::igmp_report {

struct RawSocket {
    int fd = -1;          // -1: this process may not open one
    int error = 0;        // why not
    bool dropped = false; // nothing privileged is left; when false, fd is -1
};

RawSocket OpenRawSocketThenDropPrivileges();

} // namespace kestrel::igmp_report
