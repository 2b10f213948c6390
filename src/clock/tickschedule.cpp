#include "tickschedule.h"

namespace tikvor {

bool TickSchedule::isDue(qint64 nowMs) const
{
    return !m_shown || *m_shown != wallSecond(nowMs);
}

qint64 TickSchedule::nextDeadline(qint64 nowMs) const
{
    // A second not yet shown is already late; waiting for the next one would leave it out.
    if (isDue(nowMs))
        return nowMs;
    return (wallSecond(nowMs) + 1) * 1000 + TickMarginMs;
}

} // namespace tikvor
