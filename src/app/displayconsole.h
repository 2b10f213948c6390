#pragma once
// tikvor-display's face: what the link reports, as lines of text. The error channel carries
// "CHYBA 01: ..." for a missing Data.ini, "CHYBA 02: ..." once while no port opens, the port
// frames go out on, a lost port and its return; the output channel the steps of the wiring test.
// The wiring test's end stops the link.

#include "link/displaylink.h"

#include <functional>

namespace tikvor {

using LineOut = std::function<void(const QString&)>;

// Both consoles' start: "CHYBA 01: ..." on `error` when Data.ini is missing, then the link runs.
void startLink(DisplayLink& link, const LineOut& error);
// What both consoles say once while no port opens.
QString noPortLine();

class DisplayConsole final : public QObject {
    Q_OBJECT
public:
    DisplayConsole(LinkOptions options, LineOut error, LineOut output, QObject* parent = nullptr);

    DisplayLink& link() { return m_link; }
    void start();

private:
    DisplayLink m_link;
    LineOut m_error;
    LineOut m_output;
};

} // namespace tikvor
