#pragma once
// The frames waiting for the line, and what the line thread does next.
//
// A plain value: no thread, no lock, no clock. The line thread keeps it under its lock and
// passes the time in, microseconds on the line clock.
//
// Contract:
// - One frame for now and one for later wait at most: a newer one replaces the waiting one of
//   its kind, which counts as dropped, since only the newest time is worth showing.
// - A frame for later is meant to end at endUs, so it starts the lead FrameLead gives for its
//   TXD changes earlier (at endUs without a lead), never before now. Once next() has had it
//   wait for that start, its span runs from the start aimed at, so the wake-up is learnt too;
//   a task or a frame for now that goes first makes it aim afresh.
// - A frame for later whose start has come when the next one is handed over becomes the frame
//   for now; the new one waits for its own time.
// - dropLater(): the clock was set, so the frame for later, aimed by the old time, never goes
//   out (counted as dropped).
// - A frame naming the second of the frame last sent whole is dropped unsent when its turn
//   comes: the display already shows that second. A port opened (or opened again) and a frame
//   cut short forget it.
// - next(): the frame for now first, then the frame for later once its start has come.

#include "line/framelead.h"

#include <QString>
#include <QtGlobal>

#include <optional>

namespace tikvor {

class FrameSlots {
public:
    struct Frame {
        QString bits;
        std::optional<qint64> spanFromUs; // where its span starts; empty: when it starts
        std::optional<qint64> second;     // the wall-clock second it shows
    };
    struct Step {
        enum class Do { Nothing, Wait, Send };
        Do what = Do::Nothing;
        qint64 untilUs = 0; // Wait: until then, or until something is handed over
        Frame frame;        // Send
    };

    void putNow(QString bits, std::optional<qint64> second);
    void putLater(QString bits, qint64 endUs, std::optional<qint64> second, qint64 nowUs);
    // False when no frame for later waited.
    bool dropLater();
    // A task takes the line before any waiting frame.
    void taskFirst();
    // txdLevel: the level TXD holds on the port in use (empty: not known).
    Step next(qint64 nowUs, const FrameLead& lead, std::optional<int> txdLevel);
    void frameSent(std::optional<qint64> second, bool whole);
    void portOpened() { m_shownSecond.reset(); }
    // Nothing to send now: no frame, or only a frame for later that waits for its start.
    bool idle(qint64 nowUs) const;
    bool waiting() const { return m_now || m_later; }
    // The end: what waits is let go, not counted.
    void clear();
    quint64 dropped() const { return m_dropped; }

private:
    struct Later {
        QString bits;
        qint64 endUs = 0;
        std::optional<qint64> second;
        std::optional<qint64> startUs; // once next() has looked at it
        bool waited = false;           // next() had it wait for startUs
    };

    bool shown(std::optional<qint64> second) const { return second && second == m_shownSecond; }

    std::optional<Frame> m_now;
    std::optional<Later> m_later;
    std::optional<qint64> m_shownSecond; // of the frame last sent whole
    quint64 m_dropped = 0;
};

} // namespace tikvor
