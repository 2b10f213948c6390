#include "linethread.h"

#include <windows.h>

#include <chrono>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace tikvor {

LinePriority tuneLineThread()
{
    return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL)
               ? LinePriority::RealTime
               : LinePriority::Normal;
}

void sleepUntilSteady(qint64 untilUs)
{
    using namespace std::chrono;
    const qint64 left =
        untilUs - duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
    if (left <= 0)
        return;
    // A high-resolution timer (Windows 10 1803 on) keeps to the microsecond; Sleep() would
    // round up to the system tick, 15.6 ms unless someone asked for less.
    static thread_local HANDLE timer = CreateWaitableTimerExW(
        nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    if (!timer)
        timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    LARGE_INTEGER due{};
    due.QuadPart = -left * 10; // relative, in 100 ns
    if (timer && SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE))
        WaitForSingleObject(timer, INFINITE);
    else
        Sleep(DWORD(left / 1000));
}

qint64 coarseWaitUs()
{
    return 16'000;
}

} // namespace tikvor
