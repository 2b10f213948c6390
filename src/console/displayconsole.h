#pragma once
// tikvor-display's face: what the link reports, as lines of text. The error channel carries
// "CHYBA 01: ..." for a missing Data.ini, "CHYBA 02: ..." once while no port opens, each port
// refused and why (once per device and reason), the port frames go out on, a lost port and its
// return. With the wiring test, the output channel carries its steps.

#include "link/displaylink.h"

#include <functional>
#include <memory>

namespace tikvor {

using LineOut = std::function<void(const QString&)>;

class WiringTest;

// What both consoles say as the link starts and runs: "CHYBA 01" when Data.ini is missing,
// "CHYBA 02" once while no port opens, each refusal, and the port frames go out on.
void sayLinkReports(DisplayLink& link, const LineOut& error);
void startLink(DisplayLink& link, const LineOut& error);

class DisplayConsole final : public QObject {
    Q_OBJECT
public:
    enum class Mode { Time, WiringTest };
    DisplayConsole(LinkOptions options, Mode mode, LineOut error, LineOut output,
                   QObject* parent = nullptr);
    ~DisplayConsole() override;

    DisplayLink& link() { return m_link; }
    void start();

private:
    DisplayLink m_link;
    LineOut m_error;
    std::unique_ptr<WiringTest> m_test;
};

} // namespace tikvor
