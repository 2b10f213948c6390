#pragma once
// tikvor-display's view of an emulated display (a port mapped to "virtual"): what its segments
// show, as text, while that port is the one in use.
//
// Contract:
// - Follows DisplayLink::portInUse: it listens to the display of the port in use, and to none
//   once another port (or none) is in use or the link is stopping.
// - Style::Lines (output that is no terminal): one displayLine per whole frame, written after
//   the frame's last falling edge, never mid-frame. A frame is one burst of FrameLength edges:
//   an edge more than FrameGapMs after the one before starts a new count, so a frame cut short
//   (a pattern character that is no digit) is not written and the next one is counted afresh.
// - Style::Drawing and Style::DrawingInPlace (a terminal): the three lines of displayDrawing as
//   one output text, at most 60 times a second and only after a change; in place, every drawing
//   after the first first moves the cursor up over the one before (ANSI), so the digits turn
//   where they stand.

#include "display/repaintpacer.h"
#include "link/displaylink.h"

#include <chrono>
#include <functional>

namespace tikvor {

class VirtualConsole final : public QObject {
    Q_OBJECT
public:
    enum class Style { Lines, Drawing, DrawingInPlace };
    // Frames on the emulated display take well under a millisecond and come a second apart.
    static constexpr int FrameGapMs = 250;

    VirtualConsole(DisplayLink& link, Style style, std::function<void(const QString&)> output,
                   QObject* parent = nullptr);
    ~VirtualConsole() override;

private:
    void follow(VirtualDisplay* display);
    void heard(); // on the line thread, at each falling edge
    void draw();

    Style m_style;
    std::function<void(const QString&)> m_output;
    VirtualDisplay* m_display = nullptr;
    RepaintPacer m_repaint;
    bool m_drawn = false;
    // Line thread only.
    int m_edges = 0;
    std::chrono::steady_clock::time_point m_lastEdge;
};

} // namespace tikvor
