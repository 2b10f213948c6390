#pragma once
// What the line thread asks of the system so that a frame's last edge lands on the second.
//
// Contract:
// - tuneLineThread() is called on the line thread when it starts. It asks for the most the
//   system grants without privileges (or what a service unit grants): on Linux real-time
//   scheduling where RLIMIT_RTPRIO allows it, else a lower nice value where RLIMIT_NICE allows
//   it, else (from Linux 6.12) a short scheduler slice, so a wake-up is served before a busy
//   process's turn ends; and the least timer slack. On Windows a time-critical thread. Whatever
//   is refused falls back silently: the thread runs as before. It says what it got.
// - sleepUntilSteady(us) sleeps until the steady clock (std::chrono::steady_clock, in
//   microseconds) reads us, with the finest timer the system has.
// - coarseWaitUs() is how late a wait on a condition variable may wake here: none on Linux;
//   on Windows the system tick (15.6 ms unless someone asked for less), so the line thread
//   ends such a wait that much early and sleeps the rest with sleepUntilSteady.

#include <QtGlobal>

namespace tikvor {

enum class LinePriority { RealTime, Raised, ShortSlice, Normal };

LinePriority tuneLineThread();
void sleepUntilSteady(qint64 untilUs);
qint64 coarseWaitUs();

inline const char* linePriorityName(LinePriority priority)
{
    switch (priority) {
    case LinePriority::RealTime:
        return "real-time";
    case LinePriority::Raised:
        return "raised";
    case LinePriority::ShortSlice:
        return "short slice";
    case LinePriority::Normal:
        break;
    }
    return "normal";
}

} // namespace tikvor
