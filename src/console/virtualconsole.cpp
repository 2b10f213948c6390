#include "virtualconsole.h"

#include "consoletext.h"
#include "display/displaytext.h"

namespace tikvor {
namespace {

int terminalWidth()
{
    const int out = terminalColumns(stdout);
    return out > 0 ? out : terminalColumns(stderr);
}

} // namespace

VirtualConsole::VirtualConsole(DisplayLink& link, Style style,
                               std::function<void(const QString&)> output, QObject* parent)
    : QObject(parent), m_style(style), m_output(std::move(output)), m_repaint([this] { draw(); }),
      m_drawing(style == Style::DrawingInPlace)
{
    connect(&link, &DisplayLink::portInUse, this, [this, &link] { follow(link.virtualDisplay()); });
    // The line thread lets go of the display after stopping().
    connect(&link, &DisplayLink::stopping, this, [this] { follow(nullptr); });
    // Drawings that are not redrawn in place stay as they were written: only the next one
    // need fit.
    if (m_style == Style::DrawingInPlace)
        onTerminalResize(this, [this] {
            if (m_display)
                m_repaint.drawSoon();
        });
}

VirtualConsole::~VirtualConsole()
{
    follow(nullptr);
}

void VirtualConsole::follow(VirtualDisplay* display)
{
    if (display == m_display)
        return;
    if (m_display)
        m_display->setListener({});
    m_display = display;
    m_edges = 0; // no listener runs now
    m_counting = false;
    if (!m_display)
        return;
    m_display->setListener(
        [this](quint64, std::chrono::steady_clock::time_point edgeBefore) { heard(edgeBefore); });
    // What it shows already (the first frame may have gone out before this), drawn at once.
    if (m_style != Style::Lines)
        m_repaint.drawSoon();
}

void VirtualConsole::heard(std::chrono::steady_clock::time_point edgeBefore)
{
    if (m_style != Style::Lines) {
        m_repaint.noteChange();
        return;
    }
    // A gap before this edge starts a frame. Begun in the middle of one, the count waits for the
    // next gap: the next frame may follow closely.
    if (std::chrono::steady_clock::now() - edgeBefore > std::chrono::milliseconds(FrameGapMs)) {
        m_edges = 0;
        m_counting = true;
    }
    if (!m_counting || ++m_edges < FrameLength)
        return;
    m_edges = 0;
    const QString line = displayLine(segmentsOf(m_display->bits()));
    QMetaObject::invokeMethod(
        this, [this, line] { m_output(line); }, Qt::QueuedConnection);
}

void VirtualConsole::draw()
{
    if (m_display)
        m_output(m_drawing.next(segmentsOf(m_display->bits()), terminalWidth()));
}

QString TerminalDrawing::next(const DisplaySegments& shown, int columns)
{
    QStringList drawing = displayDrawing(shown);
    // A line wider than the terminal wraps, and every drawing in place would then creep down.
    if (columns > 0 && drawing.first().size() > columns)
        drawing = QStringList{displayLine(shown).left(columns)};
    // Up over the whole drawing before its first line, then each line overwrites its own. One
    // text, so that output which drops what a stopped reader does not take drops all of it and
    // the next drawing still lands on this one. A terminal narrowed since may have wrapped the
    // drawing before onto more lines than it had: the new one goes below it.
    const bool up = m_inPlace && m_lines > 0 && (columns <= 0 || m_width <= columns);
    // In place, each line clears the rest of the one it overwrites, which may have been longer.
    const QString lineEnd = m_inPlace ? QStringLiteral("\x1b[K") : QString();
    const QString text = (up ? QStringLiteral("\x1b[%1A").arg(m_lines) : QString()) +
                         drawing.join(lineEnd + u'\n') + lineEnd;
    m_lines = drawing.size();
    m_width = drawing.first().size();
    return text;
}

} // namespace tikvor
