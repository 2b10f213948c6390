#include "lineshim.h"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

struct Lines {
    unsigned long long rdev;
    int modem;
    int breakOn;
    bool configured;
    termios settings;
};

Lines devices[64];
int deviceCount = 0;
LineshimCall calls[4096];
int callCount = 0;
unsigned long failing = 0;
int deadFd = -1;

using IoctlFn = int (*)(int, unsigned long, ...);

IoctlFn realIoctl()
{
    static IoctlFn real = reinterpret_cast<IoctlFn>(dlsym(RTLD_NEXT, "ioctl"));
    return real;
}

bool isLineRequest(unsigned long request)
{
    return request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS ||
           request == TIOCMBIC || request == TIOCSBRK || request == TIOCCBRK;
}

// Unix98 pty slaves have majors 136..143.
bool ptySlave(int fd, unsigned long long* rdev)
{
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    *rdev = st.st_rdev;
    return major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

Lines* linesOf(unsigned long long rdev, bool create)
{
    for (int i = 0; i < deviceCount; ++i)
        if (devices[i].rdev == rdev)
            return &devices[i];
    if (!create || deviceCount == int(sizeof devices / sizeof devices[0]))
        return nullptr;
    // Like a serial port just opened by someone else: DTR and RTS up, no break.
    devices[deviceCount] = {rdev, TIOCM_DTR | TIOCM_RTS, 0, false, {}};
    return &devices[deviceCount++];
}

int emulate(int fd, Lines& lines, unsigned long request, int* arg)
{
    if (failing == LINESHIM_FAIL_ALL || failing == request || fd == deadFd) {
        errno = EIO;
        return -1;
    }
    if (request == TIOCSBRK || request == TIOCCBRK) {
        lines.breakOn = request == TIOCSBRK;
        return 0;
    }
    if (!arg) {
        errno = EFAULT;
        return -1;
    }
    if (request == TIOCMGET)
        *arg = lines.modem;
    else if (request == TIOCMSET)
        lines.modem = *arg;
    else if (request == TIOCMBIS)
        lines.modem |= *arg;
    else
        lines.modem &= ~*arg;
    return 0;
}

// With LINESHIM_TRACE=<file>, every line change that reaches a device is appended there as one
// letter, so a whole program can be watched from outside: D/d DTR on/off, B/b break on/off.
void trace(unsigned long request, int bits, int result)
{
    static const int fd = [] {
        const char* path = std::getenv("LINESHIM_TRACE");
        return path && *path ? open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
    }();
    if (fd < 0 || result != 0)
        return;
    char letter = 0;
    if (request == TIOCSBRK)
        letter = 'B';
    else if (request == TIOCCBRK)
        letter = 'b';
    else if ((request == TIOCMBIS || request == TIOCMBIC) && (bits & TIOCM_DTR))
        letter = request == TIOCMBIS ? 'D' : 'd';
    if (letter && write(fd, &letter, 1) != 1)
        return;
}

} // namespace

extern "C" {

int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);

    unsigned long long rdev = 0;
    Lines* lines = isLineRequest(request) && ptySlave(fd, &rdev) ? linesOf(rdev, true) : nullptr;
    if (!lines)
        return realIoctl()(fd, request, arg);
    // LINESHIM_DELAY_US=<n>: every line change takes that long, as on a USB adapter.
    static const useconds_t delay = [] {
        const char* value = std::getenv("LINESHIM_DELAY_US");
        return value ? useconds_t(std::strtoul(value, nullptr, 10)) : useconds_t(0);
    }();
    if (delay && request != TIOCMGET)
        ::usleep(delay);
    int* bits = static_cast<int*>(arg);
    const bool breakRequest = request == TIOCSBRK || request == TIOCCBRK;
    const int given = !breakRequest && request != TIOCMGET && bits ? *bits : 0;
    const int dtrBefore = lines->modem & TIOCM_DTR;
    const int result = emulate(fd, *lines, request, breakRequest ? nullptr : bits);
    if (callCount < int(sizeof calls / sizeof calls[0]))
        calls[callCount++] = {request, given, result, rdev};
    if (request == TIOCMSET) {
        // Wine sets the modem lines whole (TIOCMGET, then TIOCMSET): trace the DTR change made.
        const int dtrAfter = lines->modem & TIOCM_DTR;
        trace(dtrAfter ? TIOCMBIS : TIOCMBIC, dtrAfter != dtrBefore ? TIOCM_DTR : 0, result);
    } else {
        trace(request, given, result);
    }
    return result;
}

int tcsetattr(int fd, int action, const termios* settings) noexcept
{
    using TcsetattrFn = int (*)(int, int, const termios*);
    static const auto real = reinterpret_cast<TcsetattrFn>(dlsym(RTLD_NEXT, "tcsetattr"));
    unsigned long long rdev = 0;
    if (settings && ptySlave(fd, &rdev)) {
        if (failing == LINESHIM_FAIL_ALL || failing == TCSETS || fd == deadFd) {
            errno = EIO;
            return -1;
        }
        if (Lines* lines = linesOf(rdev, true)) {
            lines->configured = true;
            lines->settings = *settings;
        }
    }
    return real(fd, action, settings);
}

// A descriptor number is reused by the next open, which must not inherit the failure.
int close(int fd)
{
    using CloseFn = int (*)(int);
    static const auto real = reinterpret_cast<CloseFn>(dlsym(RTLD_NEXT, "close"));
    if (fd == deadFd)
        deadFd = -1;
    return real(fd);
}

__attribute__((visibility("default"))) void lineshim_fail_fd(int fd)
{
    deadFd = fd;
}

__attribute__((visibility("default"))) int lineshim_calls(LineshimCall* out, int max)
{
    for (int i = 0; i < callCount && i < max; ++i)
        out[i] = calls[i];
    return callCount;
}

__attribute__((visibility("default"))) void lineshim_clear(void)
{
    callCount = 0;
}

__attribute__((visibility("default"))) void lineshim_fail(unsigned long request)
{
    failing = request;
}

__attribute__((visibility("default"))) void lineshim_set_lines(unsigned long long rdev,
                                                               int modemBits, int breakOn)
{
    if (Lines* lines = linesOf(rdev, true)) {
        lines->modem = modemBits;
        lines->breakOn = breakOn != 0;
    }
}

__attribute__((visibility("default"))) int lineshim_lines(unsigned long long rdev, int* modemBits,
                                                          int* breakOn)
{
    const Lines* lines = linesOf(rdev, false);
    if (!lines)
        return 0;
    *modemBits = lines->modem;
    *breakOn = lines->breakOn;
    return 1;
}

} // extern "C"

extern "C" __attribute__((visibility("default"))) int lineshim_termios(unsigned long long rdev,
                                                                       termios* out)
{
    const Lines* lines = linesOf(rdev, false);
    if (!lines || !lines->configured)
        return 0;
    *out = lines->settings;
    return 1;
}
