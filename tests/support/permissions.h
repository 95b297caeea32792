// Root reads and writes past file permissions; tests of permission faults need them to count.
#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

// Gives up the capabilities that override file permissions; true when they are gone (or were
// never held).
inline bool dropPermissionOverrides()
{
    if (geteuid() != 0)
        return true;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
        data[capability / 32].effective &= ~(1U << (capability % 32));
    return syscall(SYS_capset, &header, data) == 0;
}
