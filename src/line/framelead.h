#pragma once
// How early a frame must leave so that the display turns over on the second.
//
// The display has no latch: it shows a frame when the frame's last falling clock edge arrives.
// On an adapter where every line change takes a millisecond, a frame that starts on the second
// ends an eighth of a second later. So the line thread starts the frame for second S that much
// before S, and learns "that much" from the frames it has sent on the port in use.
//
// How long a frame takes depends on the frame: every bit costs two DTR changes, but TXD changes
// only where the next bit differs from the one before (a TXD call that keeps the level costs
// nothing), so one frame makes 96 to 144 line changes. At 5 ms a change that is over 200 ms
// between two frames; one figure for every frame would turn the display up to a tenth of a
// second early or late. So each span is kept with the TXD changes of its frame, and the lead is
// a straight line through them: a fixed part (the DTR changes, the wake-up) plus a cost per TXD
// change.
//
// Contract:
// - record() takes the span of one frame sent whole: from the moment it was due to start (or,
//   when it could not start then, the moment it did) to its last falling clock edge, and the
//   TXD level changes it made. Spans are in microseconds. A frame cut short by a failing line is
//   not recorded.
// - lead(changes) is the span a frame with that many TXD changes takes. From MinSamples spans
//   on, it comes from the last Window spans by a line fitted without
//   regard to outliers: its slope the median of the slopes between every two spans of different
//   changes (none when all have the same), its level the median of what each span leaves once
//   the slope is taken off. With equal changes that is the median span. The median is what the
//   display's own timing is judged by: half of the frames end a little early, half a little
//   late, and one slow frame (a preempted thread, a busy USB bus) moves it by nothing. A margin
//   taken from the spread would move every frame early by that margin.
//   With fewer spans, each is taken as line changes at an even rate (the DTR changes of a full
//   frame and its TXD changes), and the lowest rate gives the lead, so the second frame on a
//   port is already on time. Before the first span on a port, what a line change took when its
//   open timed one stands in, else the rate of the port before (a guess the first frame
//   corrects); with neither there is none.
// - reset() forgets every span: a new port, or the same one opened again, has its own timing.
//   Only their rate is kept, as the guess above, unless the open timed a line change.

#include <QString>
#include <QtGlobal>

#include <array>
#include <optional>

namespace tikvor {

class FrameLead {
public:
    static constexpr int Window = 31; // odd: the median is one of the spans
    static constexpr int MinSamples = 3;

    void record(qint64 spanUs, int changes);
    // changeUs: what one line change took on the new port as its open timed it, if it did.
    void reset(std::optional<qint64> changeUs = std::nullopt);
    std::optional<qint64> lead(int changes) const;

private:
    struct Span {
        qint64 us = 0;
        int changes = 0;
    };
    // Microseconds per line change: the lowest of the spans recorded, or the guess.
    std::optional<double> rate() const;

    std::array<Span, Window> m_spans{};
    int m_count = 0; // spans recorded since the reset; the newest at (m_count - 1) % Window
    std::optional<double> m_guess; // the rate of the port before
};

// How long to wait before the next of `remaining` line changes so that the last one lands at
// the end aimed for, timeLeftUs away, when each takes perChangeUs: the slack, or none.
constexpr qint64 paceWaitUs(int remaining, qint64 timeLeftUs, qint64 perChangeUs)
{
    const qint64 slack = timeLeftUs - remaining * perChangeUs;
    return slack > 0 ? slack : 0;
}

// The TXD level changes of a frame sent last character first, from the level the line holds
// (empty: not known, the first bit counts as a change).
int txdChanges(const QString& frame, std::optional<int> level);

} // namespace tikvor
