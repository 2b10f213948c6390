#pragma once
// How the link finds the port its frames go to. Two policies:
// - ButtonRing (the window): the start-up scan, then the five buttons' ring at each click
//   (ScanAtStartUp, ClickOption). Each outcome goes to `shown` before the port in use follows
//   it, so a front end shows its "CHYBA 02" box before the caption changes; the clock starts
//   once the start-up scan has been shown, so no tick comes while its box is open. Clicks made
//   while a choice runs wait their turn; once no port is left (PortClosed) clicks do nothing.
// - RetryChooser (tikvor-display): the first of COM1 to COM5 that opens, or only the one asked
//   for; while none has opened it tries again at each second, and says so once (`noPort`). The
//   clock starts at once: its frames wait for the port on the line thread.
// The opens run on the line thread, between frames, through ChooserHost::onLine; their outcome
// comes back on the link's thread, and not at all once the link is stopping.

#include "port/portchoice.h"

#include <deque>
#include <functional>
#include <optional>

namespace tikvor {

class ChooserHost {
public:
    // What runs on the line thread, and returns what then runs on the link's thread.
    using LineTask = std::function<std::function<void()>(SerialLines& lines)>;
    virtual ~ChooserHost() = default;
    virtual void onLine(LineTask task) = 0;
    // The port frames go to from now on (0: none yet); `closed`: none ever again (PortClosed).
    virtual void usePort(int n, bool closed) = 0;
    // The first choice is made and shown: the clock may start.
    virtual void ready() = 0;
};

class PortChooser {
public:
    virtual ~PortChooser() = default;
    virtual void begin() = 0;
    // At each tick.
    virtual void second() {}
    // The user selected button n.
    virtual void click(int /*n*/) {}
};

class ButtonRing final : public PortChooser {
public:
    ButtonRing(ChooserHost& host, std::function<void(const PortView&)> shown);
    void begin() override { choose(std::nullopt); }
    void click(int n) override;

private:
    void choose(std::optional<int> click);
    void chosen(const PortView& view);

    ChooserHost& m_host;
    std::function<void(const PortView&)> m_shown;
    PortView m_buttons;       // as the last choice left them
    bool m_choosing = false;  // a choice is on the line thread
    std::deque<int> m_clicks; // clicks waiting for it
};

class RetryChooser final : public PortChooser {
public:
    RetryChooser(ChooserHost& host, std::optional<int> onlyPort, std::function<void()> noPort);
    void begin() override
    {
        second();
        m_host.ready();
    }
    void second() override;

private:
    ChooserHost& m_host;
    std::optional<int> m_only;
    std::function<void()> m_noPort;
    bool m_trying = false;
    bool m_found = false;
    bool m_saidNoPort = false;
};

} // namespace tikvor
