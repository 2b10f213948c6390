#pragma once
// The tick timer of the window: tick() once per wall-clock second, at the start of the second, by
// the rules of TickSchedule. Stands where a plain 1000 ms QTimer stood (start, stop, isActive,
// interval).
//
// Each tick is aimed at the boundary itself through a WallAlarm: by default the system's alarm at
// an absolute wall-clock time, which also reports a set clock, so that the new time shows at once
// rather than up to a second later. A firing that is early runs no tick and only re-aims.
//
// The wall clock can be injected, with a plain timer aimed by it, so tests step it, stall it or
// move it back at will and fire the timer, or report a step, without waiting.

#include "clockengine.h"
#include "tickschedule.h"
#include "wallalarm.h"

#include <QObject>

#include <functional>
#include <memory>

namespace tikvor {

class SecondTimer : public QObject {
    Q_OBJECT
public:
    // Milliseconds since the epoch from the real-time clock (not a monotonic one: the display
    // follows the system time, steps included).
    using WallClock = std::function<qint64()>;

    // The system's wall clock and its alarm.
    explicit SecondTimer(QObject* parent = nullptr);
    // An injected wall clock, and a TimerAlarm aimed by it.
    explicit SecondTimer(WallClock wallClock, QObject* parent = nullptr);
    SecondTimer(WallClock wallClock, std::unique_ptr<WallAlarm> alarm, QObject* parent = nullptr);

    // Aims at the start of the next second. The second the caller showed just before (the one
    // it last read through wallTime(), as the start-up does) counts as shown, or without such a
    // reading the second current now; the first tick() is for the second after it, at once if
    // that second has begun already.
    void start();
    void stop();
    bool isActive() const { return m_active; }
    // The nominal period, for code written against a plain one-second timer.
    static constexpr int interval() { return 1000; }

    // Inside a tick() handler: the reading that made this tick, so the handler shows exactly the
    // second the schedule recorded even when the handler starts after the next boundary.
    // Elsewhere: the wall clock now.
    qint64 wallTime() const;
    // The reading the last wallTime() gave, without reading the clock again: what the handler
    // showed, when it read the time through wallTime() (TickTimeSource does).
    qint64 lastWallTime() const { return m_inTick ? m_tickTime : m_lastRead.value_or(m_tickTime); }

    // What the expiry of the alarm runs. Tests call it in place of waiting for the alarm.
    void fire();
    // What the system's report of a set clock runs: stepped() first, then the time now shows at
    // once unless its second is the one on show already, and the alarm is aimed anew from it.
    // Tests call it as the system would.
    void clockStepped()
    {
        emit stepped();
        fire();
    }
    const WallAlarm& alarm() const { return *m_alarm; }

signals:
    void tick();
    // The wall clock was set: whatever was reckoned ahead by the old time is wrong.
    void stepped();

private:
    void aim(qint64 nowMs);

    WallClock m_clock;
    WallAlarm* m_alarm; // a child
    TickSchedule m_schedule;
    bool m_active = false;
    bool m_inTick = false;
    qint64 m_tickTime = 0;
    mutable std::optional<qint64> m_lastRead; // outside a tick, for start()
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
