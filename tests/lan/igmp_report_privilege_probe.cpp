// Does what kestrel-igmp-report does first, then prints what is left of its
// privileges, for test_igmp_report_lan: whether the socket was opened, the
// process's user, groups and capabilities as the system shows them, and
// whether it could open a raw socket again (one that writes its own IP
// headers, the kind a forger wants).

#include "Privileges.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include <netinet/in.h>
#include <sys/socket.h>

int main() {
    const kestrel::igmp_report::RawSocket raw =
        kestrel::igmp_report::OpenRawSocketThenDropPrivileges();
    std::printf("socket: %d\ndropped: %d\n", raw.fd >= 0 ? 1 : 0, raw.dropped ? 1 : 0);
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        for (const char* field :
             {"Uid:", "Gid:", "Groups:", "CapInh:", "CapPrm:", "CapEff:", "CapAmb:", "NoNewPrivs:"})
            if (line.rfind(field, 0) == 0)
                std::printf("%s\n", line.c_str());
    const int again = ::socket(AF_INET, SOCK_RAW, IPPROTO_RAW);
    std::printf("raw socket again: %s\n", again >= 0 ? "opened" : std::strerror(errno));
    return 0;
}
