#pragma once
// A pseudo-terminal pair for tests; the master stays open so the slave keeps existing.

#include <QString>

#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tikvor {

struct TestPty {
    int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    QString slave = master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0
                        ? QString::fromLocal8Bit(::ptsname(master))
                        : QString();

    TestPty() = default;
    TestPty(const TestPty&) = delete;
    TestPty& operator=(const TestPty&) = delete;
    ~TestPty()
    {
        if (master >= 0)
            ::close(master);
    }

    unsigned long long rdev() const
    {
        struct stat st {};
        return ::stat(slave.toLocal8Bit().constData(), &st) == 0 ? st.st_rdev : 0;
    }
};

} // namespace tikvor
