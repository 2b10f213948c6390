#include "wallalarm.h"

#include <QDateTime>

namespace tikvor {

qint64 systemWallClockMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

std::unique_ptr<WallAlarm> makeSystemAlarm()
{
    return std::make_unique<TimerAlarm>(&systemWallClockMs);
}

} // namespace tikvor
