#pragma once
// When the one-second tick runs: at the start of each wall-clock second, not once every 1000 ms
// from whenever the program happened to start.
//
// A free-running period lands anywhere inside the second, so the clock shows the time up to a
// second late, and timer jitter around that point makes it show a second twice or leave one
// out. Instead every tick is aimed at the next whole second plus TickMarginMs, and when the timer
// fires the wall clock decides whether the tick runs.
//
// Contract (times are wall-clock milliseconds since the epoch, as the real-time clock gives them;
// a wall-clock second is the floor of that over 1000):
// - Never two ticks for one wall-clock second in a row: a firing that still reads the second the
//   last tick showed runs no tick, it only re-aims.
// - Never a second left out, except across a step: every firing that reads a second other than
//   the one last shown runs the tick, and the timer is aimed so that it fires inside every
//   second. A second is left out only when the wall clock was stepped forward over it, or when
//   nothing could run during all of it (suspend, a stalled machine, a tick handler that took
//   more than a second).
// - After a step back the second read differs from the one shown, so it is shown even though
//   the clock showed it before the step: it is the time now, not a repeat of the current one.
// - Every deadline lies 0..1000 + TickMarginMs after the reading it was aimed from, so behind a
//   relative timer a step or a pause is over within one second. An absolute alarm would wait out
//   a step back instead; the system's report of the step (SecondTimer::clockStepped) aims anew.

#include <QtGlobal>

#include <optional>

namespace tikvor {

// How far past the boundary the timer is aimed. None is needed: the deadline is the boundary
// itself on the wall clock, and an alarm never expires before it. A firing that still reads the
// old second (a relative wait whose clock ran ahead of the wall clock) only re-aims. Every
// millisecond here is a millisecond of lag on the display.
inline constexpr int TickMarginMs = 0;

// The wall-clock second a time falls into, rounded down also before the epoch.
constexpr qint64 wallSecond(qint64 ms)
{
    return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
}

class TickSchedule {
public:
    // The wall-clock time of the next firing: the next whole second plus the margin, or nowMs
    // itself when nowMs already lies in a second that has not been shown.
    qint64 nextDeadline(qint64 nowMs) const;
    // Milliseconds to wait from nowMs until nextDeadline.
    int delayToNextTick(qint64 nowMs) const
    {
        return static_cast<int>(nextDeadline(nowMs) - nowMs);
    }
    // Whether a firing at nowMs runs the tick: its second is not the one last shown.
    bool isDue(qint64 nowMs) const;
    // Records that the tick ran for the second of nowMs.
    void markShown(qint64 nowMs) { m_shown = wallSecond(nowMs); }
    // Nothing shown yet: the next firing runs the tick whatever it reads.
    void reset() { m_shown.reset(); }
    std::optional<qint64> shownSecond() const { return m_shown; }

private:
    std::optional<qint64> m_shown;
};

} // namespace tikvor
