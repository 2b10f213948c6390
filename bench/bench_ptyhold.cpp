// Helper of bench/idle.sh and bench/startup.sh: holds a pseudo-terminal open for a clock to
// use as its port.
//
// Usage: bench_ptyhold &      prints the slave's path on one line, then waits until killed.
// The slave exists only as long as the master is open, so the master stays with this process.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

int main()
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::perror("pseudo-terminal");
        return 1;
    }
    std::printf("%s\n", ptsname(master));
    std::fflush(stdout);
    for (;;)
        pause();
}
