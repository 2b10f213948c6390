#pragma once
// The tick timer of the window: tick() once per wall-clock second, early in the second, by the
// rules of TickSchedule. Stands where a plain 1000 ms QTimer stood (start, stop, isActive,
// interval).
//
// The wall clock is injected, so tests step it, stall it or move it back at will and fire the
// timer without waiting. The one timer underneath is single-shot and precise, and is aimed
// anew after every firing; a firing that is early runs no tick and only re-aims.

#include "clockengine.h"
#include "tickschedule.h"

#include <QObject>
#include <QTimer>

#include <functional>

namespace tikvor {

class SecondTimer : public QObject {
    Q_OBJECT
public:
    // Milliseconds since the epoch from the real-time clock (not a monotonic one: the display
    // follows the system time, steps included).
    using WallClock = std::function<qint64()>;

    explicit SecondTimer(QObject* parent = nullptr);
    explicit SecondTimer(WallClock wallClock, QObject* parent = nullptr);

    // Aims at the start of the next second. The second current now counts as shown, because the
    // caller shows the time itself just before it starts the tick (as the start-up does); the
    // first tick() is for the next second.
    void start();
    void stop();
    bool isActive() const { return m_active; }
    // The nominal period, for code written against a plain one-second timer.
    static constexpr int interval() { return 1000; }

    // Inside a tick() handler: the reading that made this tick, so the handler shows exactly the
    // second the schedule recorded even when the handler starts after the next boundary.
    // Elsewhere: the wall clock now.
    qint64 wallTime() const;

    // What the expiry of the timer runs. Tests call it in place of waiting for the timer.
    void fire();
    const QTimer& timer() const { return m_timer; }

signals:
    void tick();

private:
    void aim(qint64 nowMs);

    WallClock m_clock;
    TickSchedule m_schedule;
    QTimer m_timer;
    bool m_active = false;
    bool m_inTick = false;
    qint64 m_tickTime = 0;
};

// The local time of day as a SecondTimer reads it (see wallTime), for a ClockEngine driven by
// that timer: the tick and the digits it shows then come from one reading.
class TickTimeSource final : public TimeSource {
public:
    explicit TickTimeSource(const SecondTimer& timer) : m_timer(timer) {}
    QTime currentTime() const override;

private:
    const SecondTimer& m_timer;
};

} // namespace tikvor
