#pragma once
// Takes CAP_NET_RAW out of this process's effective capabilities for the
// life of the object, so that it opens raw sockets as an ordinary user's
// program would; a program it starts still gets the capability back, as a
// helper with the file capability does.

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

class WithoutNetRaw {
public:
    WithoutNetRaw() {
        if (Get() && (data_[0].effective & kBit) != 0) {
            data_[0].effective &= ~kBit;
            dropped_ = Set();
        }
    }
    ~WithoutNetRaw() {
        if (dropped_ && Get()) {
            data_[0].effective |= kBit;
            Set();
        }
    }
    WithoutNetRaw(const WithoutNetRaw&) = delete;
    WithoutNetRaw& operator=(const WithoutNetRaw&) = delete;

    bool dropped() const { return dropped_; }

private:
    static constexpr __u32 kBit = 1u << CAP_NET_RAW;
    bool Get() { return ::syscall(SYS_capget, &header_, data_) == 0; }
    bool Set() { return ::syscall(SYS_capset, &header_, data_) == 0; }

    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data_[2] = {};
    bool dropped_ = false;
};
