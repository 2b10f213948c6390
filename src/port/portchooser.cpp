#include "portchooser.h"

namespace tikvor {

PortChooser::PortChooser()
{
    m_view.enabled.fill(true);
}

void PortChooser::select(int n)
{
    if (m_view.selected == n)
        return;
    m_view.selected = n;
    // As a window does: selecting an enabled button from code runs its click handler now.
    if (isEnabled(n) && m_selection)
        m_selection->OptionClick();
}

template <typename Step> PortView PortChooser::run(SerialLines& lines, Step step)
{
    PortSelection selection(m_state, lines, *this);
    m_selection = &selection;
    m_view.showNoPortError = false;
    step(selection);
    m_selection = nullptr;
    m_view.portCaption = m_state.PortCaption;
    m_view.portClosed = m_state.PortClosed;
    return m_view;
}

PortView PortChooser::ScanAtStartUp(SerialLines& lines)
{
    return run(lines, [](PortSelection& s) { s.ScanAtStartUp(); });
}

PortView PortChooser::Click(int n, SerialLines& lines)
{
    return run(lines, [this, n](PortSelection& s) {
        // The user's click selected the button before its handler runs.
        if (m_view.selected == n || !isEnabled(n))
            return;
        m_view.selected = n;
        s.OptionClick();
    });
}

} // namespace tikvor
