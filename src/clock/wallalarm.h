#pragma once
// Where the tick meets the system's timers: an alarm at an absolute time of the wall clock, which
// also tells when the wall clock was set.
//
// A timer that waits a number of milliseconds counts them on a clock of its own: Qt rounds the
// wait to whole milliseconds and polls with a millisecond timeout, so the tick lands up to a
// couple of milliseconds into the second; and it cannot see the system time being set, so after
// a step the display would keep the old time for up to a second. The system alarms behind this
// seam wait for the wall-clock time itself and hear of every step.
//
// Contract (times are milliseconds since the epoch on the system's real-time clock):
// - arm(deadline) replaces whatever was armed. expired() follows once, from the event loop, when
//   the wall clock has reached the deadline; a deadline already passed expires at once, still
//   through the event loop. A firing may come early by the wall clock (a relative wait whose
//   clock drifted), never twice for one arming.
// - disarm(): no expired() until the next arm(), not even for a deadline that has passed already.
// - clockStepped() comes from the event loop when the system's wall clock was set (by the user,
//   by time synchronisation stepping it, at a resume from suspend), armed or not. The alarm is
//   disarmed by then: its deadline was reckoned on the old time.
// - Signals are emitted as the last thing the alarm does, so a receiver may re-arm, disarm or
//   delete it.

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace tikvor {

class WallAlarm : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    void arm(qint64 deadlineMs);
    void disarm();
    // The deadline armed and not yet expired, disarmed or stepped over.
    std::optional<qint64> deadline() const { return m_deadline; }
    bool isArmed() const { return m_deadline.has_value(); }

signals:
    void expired();
    void clockStepped();

protected:
    virtual void armSystem(qint64 deadlineMs) = 0;
    virtual void disarmSystem() = 0;
    // For the system halves: what the system reported, turned into the signals above.
    void reportExpired();
    void reportStep();

private:
    std::optional<qint64> m_deadline;
};

// A plain Qt timer, started with the wait from the given wall clock to the deadline. It hears of
// no step; it stands in where the system has no wall-clock alarm, and in tests, whose injected
// clocks no system alarm could follow.
class TimerAlarm final : public WallAlarm {
public:
    using WallClock = std::function<qint64()>;
    explicit TimerAlarm(WallClock wallClock, QObject* parent = nullptr);
    const QTimer& timer() const { return m_timer; }

private:
    void armSystem(qint64 deadlineMs) override;
    void disarmSystem() override;

    WallClock m_clock;
    QTimer m_timer;
};

// One per OS source file.
// The system's wall clock at its finest, in milliseconds since the epoch: a millisecond read from
// a clock that the system itself only updates every few milliseconds would make a tick fired at
// the boundary read the old second.
qint64 systemWallClockMs();
// The best wall-clock alarm the system offers: Linux a timerfd on CLOCK_REALTIME, Windows a
// waitable timer; elsewhere a TimerAlarm on systemWallClockMs.
std::unique_ptr<WallAlarm> makeSystemAlarm();

} // namespace tikvor
