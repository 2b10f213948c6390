#include "linethread.h"

#include <chrono>
#include <thread>

namespace tikvor {

LinePriority tuneLineThread()
{
    return LinePriority::Normal;
}

void sleepUntilSteady(qint64 untilUs)
{
    std::this_thread::sleep_until(
        std::chrono::steady_clock::time_point(std::chrono::microseconds(untilUs)));
}

qint64 coarseWaitUs()
{
    return 0;
}

} // namespace tikvor
