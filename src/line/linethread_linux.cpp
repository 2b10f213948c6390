#include "linethread.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tikvor {

namespace {

// The kernel's struct sched_attr (glibc 2.36 has no wrapper for it).
struct SchedAttr {
    std::uint32_t size;
    std::uint32_t policy;
    std::uint64_t flags;
    std::int32_t nice;
    std::uint32_t priority;
    std::uint64_t runtime; // for SCHED_OTHER from Linux 6.12: the slice, in nanoseconds
    std::uint64_t deadline;
    std::uint64_t period;
};

// Low enough that it never stands in the way of the system's own real-time threads.
constexpr int RealTimePriority = 10;
constexpr int RaisedNice = -10;
constexpr std::uint64_t ShortSliceNs = 200'000;

} // namespace

LinePriority tuneLineThread()
{
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    // Real time: allowed to a user up to RLIMIT_RTPRIO, which a service unit can grant.
    rlimit rt{};
    if (::getrlimit(RLIMIT_RTPRIO, &rt) == 0 && rt.rlim_cur > 0) {
        sched_param param{};
        param.sched_priority = std::min<int>(RealTimePriority, int(rt.rlim_cur));
        if (::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &param) == 0)
            return LinePriority::RealTime;
    } else if (::geteuid() == 0) {
        sched_param param{};
        param.sched_priority = RealTimePriority;
        if (::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &param) == 0)
            return LinePriority::RealTime;
    }
    // A lower nice value for this thread alone: allowed down to 20 - RLIMIT_NICE.
    rlimit nice{};
    const pid_t tid = pid_t(::syscall(SYS_gettid));
    const int floor = ::getrlimit(RLIMIT_NICE, &nice) == 0 ? 20 - int(nice.rlim_cur) : 20;
    const int wanted = std::max(RaisedNice, floor);
    errno = 0;
    const int current = ::getpriority(PRIO_PROCESS, id_t(tid));
    if (errno == 0 && wanted < current && ::setpriority(PRIO_PROCESS, id_t(tid), wanted) == 0)
        return LinePriority::Raised;
    // A short slice: the thread's wake-ups preempt what runs rather than wait for its turn.
    SchedAttr attr{};
    attr.size = sizeof attr;
    attr.policy = SCHED_OTHER;
    attr.nice = errno == 0 ? current : 0;
    attr.runtime = ShortSliceNs;
    if (::syscall(SYS_sched_setattr, 0, &attr, 0U) == 0)
        return LinePriority::ShortSlice;
    return LinePriority::Normal;
}

void sleepUntilSteady(qint64 untilUs)
{
    timespec at{};
    at.tv_sec = time_t(untilUs / 1'000'000);
    at.tv_nsec = long(untilUs % 1'000'000) * 1000;
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
}

qint64 coarseWaitUs()
{
    return 0;
}

} // namespace tikvor
