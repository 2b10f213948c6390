#pragma once
// The port choice as a function: from the buttons as they stand and what happened (the start-up
// scan, a click) to the buttons, label and caption that follow, running PortSelection against
// the lines. It keeps nothing between calls: the caller owns the outcome and hands it back in.
//
// Contract: call only where the lines may be used (a LineSender task). A click names the button
// the user selected; the model then runs that button's handler as the window would, and every
// button a hand-on selects runs its handler at once.

#include "portselection.h"

#include <array>

namespace tikvor {

struct PortView {
    int selected = 1;                                                  // 0: no button selected
    std::array<bool, PortCount> enabled{true, true, true, true, true}; // index 0 = Option1
    QString label = portLabel(1);                                      // Label3
    PortNaming naming;                                                 // PortCaption, PortClosed
    bool showNoPortError = false; // "CHYBA 02" is to be shown now
    // Why the port of a disabled button failed, where the lines could tell. Kept while the
    // button stays disabled; read from the lines as a choice ends.
    std::array<std::optional<PortRefusal>, PortCount> refusals{};
};

PortView ScanAtStartUp(SerialLines& lines);
PortView ClickOption(PortView before, int n, SerialLines& lines);

} // namespace tikvor
