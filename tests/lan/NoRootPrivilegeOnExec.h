#pragma once
// For the life of the object, a program this process starts gets no
// capability for being started by root (SECBIT_NOROOT): a helper without a
// file capability then runs without CAP_NET_RAW, as an ordinary user's would.

#include <linux/securebits.h>
#include <sys/prctl.h>

class NoRootPrivilegeOnExec {
public:
    NoRootPrivilegeOnExec() : old_(::prctl(PR_GET_SECUREBITS, 0, 0, 0, 0)) {
        set_ = old_ >= 0 && ::prctl(PR_SET_SECUREBITS, old_ | SECBIT_NOROOT, 0, 0, 0) == 0;
    }
    ~NoRootPrivilegeOnExec() {
        if (set_)
            ::prctl(PR_SET_SECUREBITS, old_, 0, 0, 0);
    }
    NoRootPrivilegeOnExec(const NoRootPrivilegeOnExec&) = delete;
    NoRootPrivilegeOnExec& operator=(const NoRootPrivilegeOnExec&) = delete;

    bool set() const { return set_; }

private:
    int old_;
    bool set_ = false;
};
