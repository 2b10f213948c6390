#include "virtualconsole.h"

#include "display/displaytext.h"

namespace tikvor {

VirtualConsole::VirtualConsole(DisplayLink& link, Style style,
                               std::function<void(const QString&)> output, QObject* parent)
    : QObject(parent), m_style(style), m_output(std::move(output)), m_repaint([this] { draw(); })
{
    connect(&link, &DisplayLink::portInUse, this, [this, &link] { follow(link.virtualDisplay()); });
    // The line thread lets go of the display after stopping().
    connect(&link, &DisplayLink::stopping, this, [this] { follow(nullptr); });
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
    if (!m_display)
        return;
    m_display->setListener([this](quint64) { heard(); });
    // What it shows already (the first frame may have gone out before this), drawn at once.
    if (m_style != Style::Lines)
        m_repaint.drawSoon();
}

void VirtualConsole::heard()
{
    if (m_style != Style::Lines) {
        m_repaint.noteChange();
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (m_edges > 0 && now - m_lastEdge > std::chrono::milliseconds(FrameGapMs))
        m_edges = 0;
    m_lastEdge = now;
    if (++m_edges < FrameLength)
        return;
    m_edges = 0;
    const QString line = displayLine(segmentsOf(m_display->bits()));
    QMetaObject::invokeMethod(
        this, [this, line] { m_output(line); }, Qt::QueuedConnection);
}

void VirtualConsole::draw()
{
    if (!m_display)
        return;
    const QStringList drawing = displayDrawing(segmentsOf(m_display->bits()));
    // Up over the whole drawing before its first line, then each line overwrites its own. One
    // text, so that output which drops what a stopped reader does not take drops all of it and
    // the next drawing still lands on this one.
    const bool up = m_drawn && m_style == Style::DrawingInPlace;
    m_output((up ? QStringLiteral("\x1b[%1A").arg(drawing.size()) : QString()) +
             drawing.join(u'\n'));
    m_drawn = true;
}

} // namespace tikvor
