#include "secondtimer.h"

#include <QDateTime>
#include <QPointer>

namespace tikvor {

SecondTimer::SecondTimer(QObject* parent)
    : SecondTimer(WallClock(&QDateTime::currentMSecsSinceEpoch), parent)
{
}

SecondTimer::SecondTimer(WallClock wallClock, QObject* parent)
    : QObject(parent), m_clock(std::move(wallClock))
{
    m_timer.setSingleShot(true);
    // A coarse timer may fire up to 5 % late, which would push every tick well into its second.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &SecondTimer::fire);
}

void SecondTimer::start()
{
    const qint64 now = m_clock();
    m_schedule.markShown(now);
    m_active = true;
    aim(now);
}

void SecondTimer::stop()
{
    m_active = false;
    m_timer.stop();
}

qint64 SecondTimer::wallTime() const
{
    return m_inTick ? m_tickTime : m_clock();
}

void SecondTimer::fire()
{
    if (!m_active)
        return;
    // Called early (by a test) the timer is still armed; disarm it so that after the handler an
    // armed timer can only mean the handler restarted it.
    m_timer.stop();
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
        if (!m_active || m_timer.isActive())
            return;
        // The handler may have taken a while; aiming from the reading before it could miss a
        // whole second.
        now = m_clock();
    }
    aim(now);
}

void SecondTimer::aim(qint64 nowMs)
{
    m_timer.start(m_schedule.delayToNextTick(nowMs));
}

QTime TickTimeSource::currentTime() const
{
    return QDateTime::fromMSecsSinceEpoch(m_timer.wallTime()).time();
}

} // namespace tikvor
