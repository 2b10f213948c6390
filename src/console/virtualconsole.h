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
//   Begun in the middle of a frame (its last edge less than FrameGapMs before), it counts from
//   the next gap: the next frame may follow closely.
// - Style::Drawing and Style::DrawingInPlace (a terminal): the three lines of displayDrawing as
//   one output text, at most 60 times a second and only after a change; in place, every drawing
//   after the first first moves the cursor up over the one before (ANSI), so the digits turn
//   where they stand.
// - Each drawing is TerminalDrawing's for the terminal's width at that moment: that of standard
//   output or else of standard error, since tikvor-display draws on whichever of them is a
//   terminal. In place, a change of the terminal's size (onTerminalResize) draws again.
// TerminalDrawing::next is the text for one drawing in a terminal `columns` wide (0: not known,
// any width). No line of it is wider: where the three lines would not fit, the displayLine form
// instead, cut to the width if even that is too wide. In place, each line clears the rest of the
// one it overwrites, and a terminal that has become narrower than the drawing before (which it
// may have wrapped) gets the next one below it.

#include "display/repaintpacer.h"
#include "link/displaylink.h"

#include <chrono>
#include <functional>

namespace tikvor {

class TerminalDrawing {
public:
    explicit TerminalDrawing(bool inPlace) : m_inPlace(inPlace) {}
    QString next(const DisplaySegments& shown, int columns);

private:
    bool m_inPlace;
    // The drawing last written: its lines and its width; no lines before the first.
    qsizetype m_lines = 0;
    qsizetype m_width = 0;
};

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
    void heard(std::chrono::steady_clock::time_point edgeBefore); // on the line thread, per edge
    void draw();

    Style m_style;
    std::function<void(const QString&)> m_output;
    VirtualDisplay* m_display = nullptr;
    RepaintPacer m_repaint;
    TerminalDrawing m_drawing;
    // Line thread only.
    int m_edges = 0;
    bool m_counting = false; // a gap came before an edge since listening began
};

} // namespace tikvor
