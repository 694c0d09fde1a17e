#include "SystemdNotify.h"

#include <systemd/sd-daemon.h>

#include <ctime>
#include <string>

namespace kestrel::serve {

void NotifyReady() {
    sd_notify(0, "READY=1");
}

void NotifyReloading() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const unsigned long long usec = static_cast<unsigned long long>(now.tv_sec) * 1000000ULL +
                                    static_cast<unsigned long long>(now.tv_nsec) / 1000ULL;
    sd_notify(0, ("RELOADING=1\nMONOTONIC_USEC=" + std::to_string(usec)).c_str());
}

void NotifyStopping() {
    sd_notify(0, "STOPPING=1");
}

void NotifyStatus(const char* text) {
    sd_notify(0, (std::string("STATUS=") + text).c_str());
}

} // namespace kestrel::serve
