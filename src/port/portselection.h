#pragma once
// Choosing the port of the display link: the scan at start-up and the choice
// from the five option buttons.
//
// Contract:
// - ScanAtStartUp tries COM1..COM5, disables the button of every port that
//   failed, moves the selection from Option1 to the first enabled button and
//   makes that port the one in use. Without any port it deselects every
//   button and goes to the no-port state.
// - OptionClick is the handler of all five buttons: it runs SelectPort unless
//   the no-port state has been reached. SelectPort rescans, opens the selected
//   port and, when that port failed (in the scan or on the open that makes it
//   the one in use), disables its button and hands the selection forward round
//   the ring (Option2 after Option1, Option1 after Option5) to the first
//   enabled button, whose handler opens its port. Label3 and the caption only
//   ever name a port that opened.
// - The no-port state ("CHYBA 02" once, "COM0", PortClosed) is entered only
//   when no enabled button is left, and it is final for the run. After a click
//   the selection then rests on Option1; at start-up no button is selected.
// - PortPanel::select on an enabled button runs that button's handler before
//   it returns, as a window does; on a disabled button it does not.

#include "clock/clockstate.h"
#include "seriallines.h"

#include <QString>

namespace tikvor {

inline constexpr int PortCount = 5;

// Entries of the port table for port n (1..5); n = 0 stands for "no port".
QString portMode(int n);    // "COM3,1200,N,8,1"
QString portLabel(int n);   // "COM3"
QString portCaption(int n); // "Tikvor - COM3"

// The five option buttons and what names the port, as the port handling sees them.
class PortPanel {
public:
    virtual ~PortPanel() = default;
    virtual bool isSelected(int n) const = 0;
    virtual bool isEnabled(int n) const = 0;
    virtual void disable(int n) = 0;
    virtual void select(int n) = 0; // see the contract above
    virtual void deselectAll() = 0;
    virtual void setPortLabel(const QString& text) = 0; // Label3
    virtual void setCaption(const QString& caption) = 0;
    virtual void showNoPortError() = 0; // "CHYBA 02", modal
};

// What the choice decides besides the buttons: the port that Label3 and PortCaption name (0:
// none), and PortClosed. The owner of ClockState takes them over.
struct PortNaming {
    int port = 0;
    qint16 PortClosed = False16;
};

class PortSelection {
public:
    PortSelection(PortNaming& state, SerialLines& lines, PortPanel& panel);

    void ScanAtStartUp();
    void OptionClick();
    void SelectPort();

private:
    void scan();
    int selected() const;  // 0 when none
    bool openSelected();   // false when the selected port did not open (its button disabled)
    bool handOn(int from); // false when no enabled button is left
    void enterNoPort();

    PortNaming& m_state;
    SerialLines& m_lines;
    PortPanel& m_panel;
};

} // namespace tikvor
