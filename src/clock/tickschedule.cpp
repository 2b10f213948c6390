#include "tickschedule.h"

namespace tikvor {

bool TickSchedule::isDue(qint64 nowMs) const
{
    return !m_shown || *m_shown != wallSecond(nowMs);
}

int TickSchedule::delayToNextTick(qint64 nowMs) const
{
    // A second not yet shown is already late; waiting for the next one would leave it out.
    if (isDue(nowMs))
        return 0;
    const qint64 target = (wallSecond(nowMs) + 1) * 1000 + TickMarginMs;
    return static_cast<int>(target - nowMs);
}

} // namespace tikvor
