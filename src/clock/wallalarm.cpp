#include "wallalarm.h"

#include <algorithm>
#include <limits>

namespace tikvor {

void WallAlarm::arm(qint64 deadlineMs)
{
    m_deadline = deadlineMs;
    armSystem(deadlineMs);
}

void WallAlarm::disarm()
{
    // Expired or disarmed already, nothing waits in the system: one call less before the frame.
    if (!m_deadline)
        return;
    m_deadline.reset();
    disarmSystem();
}

void WallAlarm::reportExpired()
{
    // A stale report: the system fired for an arming that has since been taken back.
    if (!m_deadline)
        return;
    m_deadline.reset();
    emit expired();
}

void WallAlarm::reportStep()
{
    disarm();
    emit clockStepped();
}

TimerAlarm::TimerAlarm(WallClock wallClock, QObject* parent)
    : WallAlarm(parent), m_clock(std::move(wallClock))
{
    m_timer.setSingleShot(true);
    // A coarse timer may fire up to 5 % late, which would push every tick well into its second.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &TimerAlarm::reportExpired);
}

void TimerAlarm::armSystem(qint64 deadlineMs)
{
    // The clock is read in whole milliseconds, rounded down, and a timer never fires before its
    // wait is over, so the firing cannot come before the deadline by that reading.
    const qint64 wait =
        std::clamp<qint64>(deadlineMs - m_clock(), 0, std::numeric_limits<int>::max());
    m_timer.start(static_cast<int>(wait));
}

void TimerAlarm::disarmSystem()
{
    m_timer.stop();
}

} // namespace tikvor
