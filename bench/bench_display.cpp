// How late tikvor-display's frames are: the display link (the clock engine and the line
// thread without a window) against the real wall clock and its own tick timer, over a recording
// line that notes when each frame's first DTR rose and its last DTR fell; both against the
// second nearest to the frame's end (negative: early).
//
// Usage: bench_display [SECONDS]   (default 60)
// No device is opened; the program folder is a temporary one with the sample Data.ini.

#include "link/displaylink.h"
#include "wallclock.h"
#include "windowbench.h"

#include <QCoreApplication>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <set>
#include <vector>

using namespace tikvor;
using tikvor::bench::report;

namespace {

class TimedLines : public SerialLines {
public:
    std::mutex mutex;
    std::vector<double> startMs, endMs; // after the start of the frame's second
    std::vector<qint64> seconds;        // the wall-clock second nearest to each frame's end
    int OpenPort(const QString& mode) override { return mode.startsWith("COM1,") ? 1 : 0; }
    bool DTR(int level) override
    {
        const qint64 now = wallMicros();
        if (level == 1 && m_ops == 0)
            m_start = now;
        if (level == 0 && ++m_ops == 48) {
            const std::lock_guard lock(mutex);
            // The frame of a second is meant to end on it, and starts early by what it takes.
            const qint64 second = (now + 500000) / 1000000;
            startMs.push_back((m_start - second * 1000000) / 1000.0);
            endMs.push_back((now - second * 1000000) / 1000.0);
            seconds.push_back(second);
            m_ops = 0;
        }
        return true;
    }
    bool TXD(int) override { return true; }

private:
    int m_ops = 0;
    qint64 m_start = 0;
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    QTemporaryDir folder;
    bench::fillProgramFolder(folder);
    TimedLines lines;
    LinkOptions options;
    options.programFolder = folder.path();
    options.ports = PortPolicy::Retry;
    options.seams.lines = &lines;
    DisplayLink link(options);
    QObject::connect(&link, &DisplayLink::stopped, &app,
                     [](int status) { QCoreApplication::exit(status); });
    link.start();
    QTimer::singleShot(seconds * 1000 + 300, &link, [&] { link.stop(); });
    app.exec();

    const std::lock_guard lock(lines.mutex);
    std::printf("bench_display: %d s\n", seconds);
    // The start-up frame belongs to no second boundary.
    std::vector<double> starts(lines.startMs.begin() + 1, lines.startMs.end());
    std::vector<double> ends(lines.endMs.begin() + 1, lines.endMs.end());
    report("second start -> frame start on the line", starts);
    report("second start -> frame end on the line", ends);
    int repeated = 0, skipped = 0;
    qint64 previous = -1;
    std::multiset<qint64> shown(lines.seconds.begin() + (lines.seconds.empty() ? 0 : 1),
                                lines.seconds.end());
    for (qint64 s : shown) {
        if (previous >= 0) {
            repeated += s == previous;
            skipped += s > previous + 1 ? int(s - previous - 1) : 0;
        }
        previous = s;
    }
    std::printf("frames %zu, seconds repeated %d, left out %d\n", lines.startMs.size(), repeated,
                skipped);
    return 0;
}
