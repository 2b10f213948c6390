#pragma once
// Gives pseudo-terminal slaves the modem lines they lack, so the serial-line layer can be tested
// without a serial port. Loaded with LD_PRELOAD, it takes over ioctl for pty slave descriptors:
// TIOCMGET/TIOCMSET/TIOCMBIS/TIOCMBIC and TIOCSBRK/TIOCCBRK act on a per-device state and are
// logged with their outcome; every other request and descriptor goes to the real ioctl. It also
// keeps the settings last passed to tcsetattr, as a pty drops the data bits and parity asked for,
// and can make tcsetattr fail.
// With LINESHIM_DELAY_US=<n> every line change takes n microseconds (a slow adapter).
// Tests reach the functions below through dlsym(RTLD_DEFAULT, ...); single-threaded use only.

#include <termios.h>

#ifdef __cplusplus
extern "C" {
#endif

struct LineshimCall {
    unsigned long request;
    int bits; // the modem-bit argument, 0 for break requests
    int result;
    unsigned long long rdev;
};

// Every request fails with EIO while `request` is LINESHIM_FAIL_ALL or equals it; 0 ends that.
// tcsetattr on a pty slave counts as the request TCSETS, and a failed one changes nothing.
#define LINESHIM_FAIL_ALL (~0UL)

typedef int (*LineshimCallsFn)(struct LineshimCall* out, int max); // returns the count
typedef void (*LineshimClearFn)(void);
typedef void (*LineshimFailFn)(unsigned long request);
// Every line request and tcsetattr on descriptor `fd` fails with EIO, as on the handle of an
// adapter that was pulled out, until that descriptor is closed; -1 ends it sooner. Other
// descriptors of the same device keep working.
typedef void (*LineshimFailFdFn)(int fd);
typedef void (*LineshimSetLinesFn)(unsigned long long rdev, int modemBits, int breakOn);
typedef int (*LineshimLinesFn)(unsigned long long rdev, int* modemBits, int* breakOn);
typedef int (*LineshimTermiosFn)(unsigned long long rdev, struct termios* out); // 0: none yet

#ifdef __cplusplus
}
#endif
