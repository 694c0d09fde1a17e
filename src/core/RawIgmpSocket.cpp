#include "RawIgmpSocket.h"

#include <netinet/in.h>
#include <sys/socket.h>

namespace kestrel {

int OpenRawIgmpSocket() {
    // The system builds the IP header; the multicast TTL stays at its
    // default of 1, as a membership report wants.
    return ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_IGMP);
}

} // namespace kestrel
