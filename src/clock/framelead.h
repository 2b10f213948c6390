#pragma once
// How early a frame must leave so that the display turns over on the second.
//
// The display has no latch: it shows a frame when the frame's last falling clock edge arrives.
// On an adapter where every line change takes a millisecond, a frame that starts on the second
// ends an eighth of a second later. So the line thread starts the frame for second S that much
// before S, and learns "that much" from the frames it has sent on the port in use.
//
// Contract:
// - record() takes the span of one frame sent whole: from the moment it was due to start (or,
//   when it could not start then, the moment it did) to its last falling clock edge. Spans are
//   in microseconds. A frame cut short by a failing line is not recorded.
// - lead() is empty until MinSamples spans are recorded, so the first frames after an open, a
//   port switch or a reopen start on the second as before; then it is the median of the last
//   Window spans. The median is what the display's own timing is judged by: half of the frames
//   end a little early, half a little late, and one slow frame (a preempted thread, a busy USB
//   bus) moves it by nothing. A margin taken from the spread would move every frame early by
//   that margin.
// - reset() forgets every span: a new port, or the same one opened again, has its own timing.
// - frameStart() is the rule the line thread waits by: a frame that must end at endUs starts at
//   endUs - lead, or at endUs without a lead; never before nowUs (a frame longer than a second,
//   or one handed over late, goes at once, back to back with the one before).

#include <QtGlobal>

#include <array>
#include <optional>

namespace tikvor {

class FrameLead {
public:
    static constexpr int Window = 31; // odd: the median is one of the spans
    static constexpr int MinSamples = 3;

    void record(qint64 spanUs);
    void reset() { m_count = 0; }
    std::optional<qint64> lead() const;

private:
    std::array<qint64, Window> m_spans{};
    int m_count = 0; // spans recorded since the reset; the newest at (m_count - 1) % Window
};

constexpr qint64 frameStart(qint64 endUs, std::optional<qint64> leadUs, qint64 nowUs)
{
    const qint64 start = endUs - leadUs.value_or(0);
    return start > nowUs ? start : nowUs;
}

} // namespace tikvor
