#include "secondtimer.h"

#include <QDateTime>
#include <QPointer>

namespace tikvor {

SecondTimer::SecondTimer(QObject* parent)
    : SecondTimer(WallClock(&systemWallClockMs), makeSystemAlarm(), parent)
{
}

SecondTimer::SecondTimer(WallClock wallClock, QObject* parent)
    : SecondTimer(wallClock, std::make_unique<TimerAlarm>(wallClock), parent)
{
}

SecondTimer::SecondTimer(WallClock wallClock, std::unique_ptr<WallAlarm> alarm, QObject* parent)
    : QObject(parent), m_clock(std::move(wallClock)), m_alarm(alarm.release())
{
    m_alarm->setParent(this);
    connect(m_alarm, &WallAlarm::expired, this, &SecondTimer::fire);
    connect(m_alarm, &WallAlarm::clockStepped, this, &SecondTimer::clockStepped);
}

void SecondTimer::start()
{
    const qint64 now = m_clock();
    // Had the start-up's reading and this one fallen on either side of a boundary, the second
    // after the one shown would count as shown and be left out.
    m_schedule.markShown(m_lastRead.value_or(now));
    m_active = true;
    aim(now);
}

void SecondTimer::stop()
{
    m_active = false;
    m_alarm->disarm();
}

qint64 SecondTimer::wallTime() const
{
    if (m_inTick)
        return m_tickTime;
    m_lastRead = m_clock();
    return *m_lastRead;
}

void SecondTimer::fire()
{
    if (!m_active)
        return;
    // Called early (by a test, or for a step) the alarm is still armed; disarm it so that after
    // the handler an armed alarm can only mean the handler restarted it.
    m_alarm->disarm();
    qint64 now = m_clock();
    if (m_schedule.isDue(now)) {
        m_schedule.markShown(now);
        m_tickTime = now;
        QPointer<SecondTimer> self(this);
        m_inTick = true;
        emit tick();
        if (!self)
            return;
        m_inTick = false;
        // The handler may have stopped or restarted the timer; either way it is aimed already.
        if (!m_active || m_alarm->isArmed())
            return;
        // The handler may have taken a while; aiming from the reading before it could miss a
        // whole second.
        now = m_clock();
    }
    aim(now);
}

void SecondTimer::aim(qint64 nowMs)
{
    m_lastRead.reset();
    m_alarm->arm(m_schedule.nextDeadline(nowMs));
}

QTime TickTimeSource::currentTime() const
{
    return QDateTime::fromMSecsSinceEpoch(m_timer.wallTime()).time();
}

} // namespace tikvor
