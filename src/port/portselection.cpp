#include "portselection.h"

namespace tikvor {

QString portMode(int n)
{
    return QStringLiteral("COM%1,1200,N,8,1").arg(n);
}

QString portLabel(int n)
{
    return QStringLiteral("COM%1").arg(n);
}

QString portCaption(int n)
{
    return QStringLiteral("Tikvor - COM%1").arg(n);
}

PortSelection::PortSelection(PortNaming& state, SerialLines& lines, PortPanel& panel)
    : m_state(state), m_lines(lines), m_panel(panel)
{
}

void PortSelection::scan()
{
    for (int n = 1; n <= PortCount; ++n) {
        if (m_lines.OpenPort(portMode(n)) == 0)
            m_panel.disable(n);
    }
}

int PortSelection::selected() const
{
    for (int n = 1; n <= PortCount; ++n) {
        if (m_panel.isSelected(n))
            return n;
    }
    return 0;
}

bool PortSelection::openSelected()
{
    const int n = selected();
    if (n == 0)
        return false;
    // The scan left the last port that opened in use; this makes it the chosen one. A port that
    // fails here is a failed port like any other: it is never named.
    if (m_lines.OpenPort(portMode(n)) == 0) {
        m_panel.disable(n);
        return false;
    }
    m_panel.setPortLabel(portLabel(n));
    m_state.port = n;
    return true;
}

bool PortSelection::handOn(int from)
{
    // Walk round the ring to the first button still enabled; its own handler opens its port,
    // and from then on that inner run speaks for the selection.
    for (int step = 1; step < PortCount; ++step) {
        const int n = (from - 1 + step) % PortCount + 1;
        if (m_panel.isEnabled(n)) {
            m_panel.select(n);
            return true;
        }
    }
    return false;
}

void PortSelection::enterNoPort()
{
    if (m_state.PortClosed != False16)
        return; // an inner run already said so
    m_panel.showNoPortError();
    m_panel.setPortLabel(portLabel(0));
    m_panel.setCaption(portCaption(0));
    m_state.port = 0;
    m_state.PortClosed = True16;
}

void PortSelection::ScanAtStartUp()
{
    scan();
    for (int k = 1; k < PortCount; ++k) {
        if (m_panel.isSelected(k) && !m_panel.isEnabled(k))
            m_panel.select(k + 1);
    }
    if (m_state.PortClosed != False16)
        return;
    if (m_panel.isSelected(PortCount) && !m_panel.isEnabled(PortCount)) {
        m_panel.deselectAll();
        enterNoPort();
        return;
    }
    const int chosen = selected();
    if (openSelected() || m_state.PortClosed != False16)
        return;
    // The chosen port opened in the scan but not again: on round the ring, or no port at all.
    if (!handOn(chosen)) {
        m_panel.deselectAll();
        enterNoPort();
    }
}

void PortSelection::OptionClick()
{
    if (m_state.PortClosed == False16)
        SelectPort();
}

void PortSelection::SelectPort()
{
    scan();
    const int from = selected();
    if (from == 0 || openSelected())
        return;
    if (handOn(from))
        return;
    // The ring's no-port end: the selection comes to rest on Option1.
    m_panel.select(1);
    enterNoPort();
}

} // namespace tikvor
