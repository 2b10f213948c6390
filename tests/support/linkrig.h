#pragma once
// What a DisplayLink stands on in a test: a throw-away program folder, recording lines, a wall
// clock and a line clock that move only when the test moves them, and one way to let the line
// thread catch up. The front end that owns the link (the link itself, the console, the window)
// names it through link().

#include "link/displaylink.h"
#include "support/programfolder.h"
#include "support/recordinglines.h"

#include <QCoreApplication>
#include <QTest>

#include <atomic>

namespace tikvor::test {

// Frames and port choices run on the line thread: this waits until it has nothing left to do,
// then delivers to the link what it reported, and nothing else (no timer runs). Twice: what is
// delivered may hand the line more (the start-up choice is followed by the first tick).
inline void settleLink(DisplayLink& link)
{
    for (int round = 0; round < 2; ++round) {
        if (LineSender* sender = link.lineSender())
            QVERIFY(sender->waitIdle(5000));
        QCoreApplication::sendPostedEvents(&link, QEvent::MetaCall);
    }
}

class LinkRig {
public:
    ProgramFolder folder;
    RecordingLines lines;
    std::atomic<qint64> wall = 1'700'000'000'300; // ms since the epoch
    std::atomic<qint64> steady = 0;               // ms on the line clock

    virtual ~LinkRig() = default;
    virtual DisplayLink& link() = 0;
    void settle() { settleLink(link()); }

    LineSender::Clock lineClock()
    {
        return [this] { return steady.load() * 1000; };
    }
    LinkOptions options(PortPolicy ports = PortPolicy::Buttons)
    {
        LinkOptions o;
        o.programFolder = folder.path();
        o.ports = ports;
        o.seams.lines = &lines;
        o.seams.wallClock = [this] { return wall.load(); };
        o.seams.lineClock = lineClock();
        return o;
    }
};

} // namespace tikvor::test
