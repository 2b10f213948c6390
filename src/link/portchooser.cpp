#include "portchooser.h"

namespace tikvor {

ButtonRing::ButtonRing(ChooserHost& host, std::function<void(const PortView&)> shown)
    : m_host(host), m_shown(std::move(shown))
{
}

void ButtonRing::click(int n)
{
    // With no port left the handlers do nothing, also on a button still enabled.
    if (m_buttons.naming.PortClosed != False16)
        return;
    if (m_choosing) {
        m_clicks.push_back(n);
        return;
    }
    choose(n);
}

void ButtonRing::choose(std::optional<int> click)
{
    m_choosing = true;
    m_host.onLine([this, before = m_buttons, click](SerialLines& lines) -> std::function<void()> {
        PortView after = click ? ClickOption(before, *click, lines) : ScanAtStartUp(lines);
        return [this, after] { chosen(after); };
    });
}

void ButtonRing::chosen(const PortView& view)
{
    m_choosing = false;
    m_buttons = view;
    m_buttons.showNoPortError = false;
    m_shown(view);
    m_host.usePort(view.naming.port, view.naming.PortClosed != False16);
    m_host.ready();
    if (!m_clicks.empty()) {
        const int next = m_clicks.front();
        m_clicks.pop_front();
        click(next);
    }
}

RetryChooser::RetryChooser(ChooserHost& host, std::optional<int> onlyPort,
                           std::function<void()> noPort)
    : m_host(host), m_only(onlyPort), m_noPort(std::move(noPort))
{
}

void RetryChooser::second()
{
    if (m_trying || m_found)
        return;
    m_trying = true;
    m_host.onLine([this, only = m_only](SerialLines& lines) -> std::function<void()> {
        int opened = 0;
        for (int n = only.value_or(1); n <= only.value_or(PortCount) && !opened; ++n) {
            if (lines.OpenPort(portMode(n)) != 0)
                opened = n;
        }
        return [this, opened] {
            m_trying = false;
            if (opened == 0) {
                if (!std::exchange(m_saidNoPort, true))
                    m_noPort();
                return;
            }
            m_found = true;
            m_host.usePort(opened, false);
        };
    });
}

} // namespace tikvor
