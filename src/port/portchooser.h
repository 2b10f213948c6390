#pragma once
// The port choice made on the line thread, so the window never waits for a port to open.
//
// The choice follows PortSelection to the letter; only where it runs changes. PortChooser keeps
// the buttons as the choice sees them (which is selected, which are enabled), the caption, the
// label and PortClosed, runs PortSelection against that model and the lines, and returns what the
// window is to show afterwards. The window applies that and shows "CHYBA 02" when asked to.
//
// Contract: call only on the line thread (from a LineSender task). A click names the button
// the user selected; the model then runs that button's handler as the window would.

#include "portselection.h"

#include <array>

namespace tikvor {

struct PortView {
    int selected = 1;                         // 0: no button selected
    std::array<bool, PortCount> enabled{};    // index 0 = Option1
    QString label = portLabel(1);             // Label3
    QString portCaption;                      // PortCaption
    qint16 portClosed = False16;
    bool showNoPortError = false;             // "CHYBA 02" is to be shown now
};

class PortChooser final : private PortPanel {
public:
    PortChooser();

    PortView ScanAtStartUp(SerialLines& lines);
    PortView Click(int n, SerialLines& lines);

private:
    template <typename Step> PortView run(SerialLines& lines, Step step);

    bool isSelected(int n) const override { return m_view.selected == n; }
    bool isEnabled(int n) const override { return m_view.enabled[size_t(n - 1)]; }
    void disable(int n) override { m_view.enabled[size_t(n - 1)] = false; }
    void select(int n) override;
    void deselectAll() override { m_view.selected = 0; }
    void setPortLabel(const QString& text) override { m_view.label = text; }
    void setCaption(const QString&) override {} // the window takes it from portCaption
    void showNoPortError(const QString&, const QString&) override { m_view.showNoPortError = true; }

    PortView m_view;
    ClockState m_state; // PortClosed and PortCaption, as the choice keeps them
    PortSelection* m_selection = nullptr; // while a choice runs
};

} // namespace tikvor
