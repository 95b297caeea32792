#include "property/faults.h"

#include <cerrno>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace faults {

Plan &plan()
{
    static Plan armed;
    return armed;
}

} // namespace faults

namespace {

template <typename Function> Function real(const char *name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// Whether this call of name is the one to fail; sets errno when it is.
bool failsNow(const char *name)
{
    faults::Plan &plan = faults::plan();
    if (plan.call != name || plan.fired)
        return false;
    if (plan.skip-- > 0)
        return false;
    plan.fired = true;
    errno = plan.error;
    return true;
}

void note(std::string what, int result)
{
    faults::plan().log.push_back(result == 0 ? what : what + "!");
}

} // namespace

extern "C" {

ssize_t write(int fd, const void *buffer, size_t count)
{
    static const auto next = real<ssize_t (*)(int, const void *, size_t)>("write");
    return fd > 2 && failsNow("write") ? -1 : next(fd, buffer, count);
}

int fsync(int fd)
{
    static const auto next = real<int (*)(int)>("fsync");
    struct stat status {};
    const bool folder = fstat(fd, &status) == 0 && S_ISDIR(status.st_mode);
    const int result = failsNow("fsync") ? -1 : next(fd);
    note(folder ? "fsync folder" : "fsync file", result);
    return result;
}

int rename(const char *from, const char *to)
{
    static const auto next = real<int (*)(const char *, const char *)>("rename");
    const int result = failsNow("rename") ? -1 : next(from, to);
    note("rename", result);
    return result;
}

int link(const char *from, const char *to)
{
    static const auto next = real<int (*)(const char *, const char *)>("link");
    if (faults::plan().noHardLinks) {
        errno = EPERM;
        return -1;
    }
    return failsNow("link") ? -1 : next(from, to);
}

int fchmod(int fd, mode_t mode)
{
    static const auto next = real<int (*)(int, mode_t)>("fchmod");
    return failsNow("fchmod") ? -1 : next(fd, mode);
}
}
