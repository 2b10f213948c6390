#pragma once
// The frames waiting for the line, and what the line thread does next.
//
// A plain value: no thread, no lock, no clock. The line thread keeps it under its lock and
// passes the time in, microseconds on the line clock.
//
// Contract:
// - A frame for now (putNow) names no instant: it goes as soon as the line is free, and a newer
//   one replaces the waiting one (counted as dropped), since only the newest time is worth
//   showing. It goes before any timed frame.
// - A timed frame (putTimed) shows wall-clock second `second`, which begins at boundaryUs on the
//   line clock: the display should turn to it then. Of timed frames the one of the earliest
//   second is looked at first; a newer one for the same second replaces it. aimFrame decides:
//   it waits to start early by the span the frame takes (FrameLead, plus a margin the end is
//   then held for), goes at once when it can still end inside its second, and otherwise is made
//   afresh by the FrameMaker for a later second it can end on, and every waiting frame of that
//   second or before is dropped. Without a maker such a frame is dropped: a frame whose second
//   has passed is never sent, so after a stall the display never turns back to an old time.
// - A frame that waited for its start has its span run from the start aimed at, so the
//   wake-up is learnt too; a task or another frame that goes first makes it aim afresh.
// - dropTimed(): the clock was set, so every timed frame, aimed by the old time, never goes
//   out (counted as dropped), and the instant of a second is forgotten until the next one.
// - A frame naming the second of the frame last sent whole is dropped unsent when its turn
//   comes: the display already shows that second. A port opened (or opened again) and a frame
//   cut short forget it.
// - portChosen(nowUs): a port choice opened a port. With a maker and a known instant of a
//   second, the frame of the second now current waits first, so the new port shows the time
//   at once (or from the next second, when this one ends before the frame could).

#include "line/framelead.h"

#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>
#include <vector>

namespace tikvor {

// The frame of a wall-clock second with the given dots (+1 or -1, as BlinkSign); empty when it
// cannot be made. Called on the line thread.
using FrameMaker = std::function<QString(qint64 second, int blink)>;

struct Aim {
    enum class Do { Wait, Send, Remake };
    Do what = Do::Send;
    qint64 second = 0;            // the second the frame should show (Remake: the new one)
    qint64 untilUs = 0;           // Wait: its start
    std::optional<qint64> holdUs; // Send: the instant its last edge is held for
};

// How much earlier than its span a frame starts, so that a late wake-up or a slow line change
// is taken up by holding its last edge: 5 ms or 5 % of the span, whichever is larger.
constexpr qint64 startMarginUs(qint64 spanUs)
{
    return spanUs / 20 > 5000 ? spanUs / 20 : 5000;
}

// Where a frame of `second`, which begins at boundaryUs, goes at nowUs when it takes spanUs
// (empty: not known, taken as none).
Aim aimFrame(qint64 second, qint64 boundaryUs, qint64 nowUs, std::optional<qint64> spanUs);

class FrameSlots {
public:
    struct Timed {
        qint64 second = 0;
        qint64 boundaryUs = 0;
        int blink = 1;
    };
    struct Frame {
        QString bits;
        std::optional<qint64> spanFromUs; // where its span starts; empty: when it starts
        std::optional<qint64> second;     // the wall-clock second it shows
        std::optional<qint64> holdUs;     // its last edge held until then
    };
    struct Step {
        enum class Do { Nothing, Wait, Send };
        Do what = Do::Nothing;
        qint64 untilUs = 0; // Wait: until then, or until something is handed over
        Frame frame;        // Send
    };

    void setMaker(FrameMaker maker) { m_maker = std::move(maker); }
    void putNow(QString bits, std::optional<qint64> second = {});
    void putTimed(QString bits, Timed timed);
    // False when no timed frame waited.
    bool dropTimed();
    // A task takes the line before any waiting frame.
    void taskFirst();
    // txdLevel: the level TXD holds on the port in use (empty: not known).
    Step next(qint64 nowUs, const FrameLead& lead, std::optional<int> txdLevel);
    void frameSent(std::optional<qint64> second, bool whole);
    void portOpened() { m_shownSecond.reset(); }
    void portChosen(qint64 nowUs);
    // Nothing to send now: no frame, or only timed frames waiting for their start.
    bool idle(qint64 nowUs) const;
    bool waiting() const { return m_now || !m_timed.empty(); }
    // The end: what waits is let go, not counted.
    void clear();
    quint64 dropped() const { return m_dropped; }

private:
    struct Waiting {
        QString bits;
        Timed timed;
        std::optional<qint64> startUs; // once next() had it wait
    };

    bool shown(std::optional<qint64> second) const { return second && second == m_shownSecond; }
    void put(Waiting frame);
    void remake(Waiting& frame, qint64 second);

    FrameMaker m_maker;
    std::optional<Frame> m_now;
    std::vector<Waiting> m_timed;        // by second, earliest first
    std::optional<Timed> m_known;        // the instant of a second, from the newest timed frame
    std::optional<qint64> m_shownSecond; // of the frame last sent whole
    quint64 m_dropped = 0;
};

} // namespace tikvor
