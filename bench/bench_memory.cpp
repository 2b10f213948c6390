// Resident memory of the main window after start-up and after many ticks.
//
// Usage: bench_memory [TICKS]      (default 10000)
// Runs on QT_QPA_PLATFORM=offscreen unless QT_QPA_PLATFORM is set (xcb under xvfb-run).
// The window starts as the program starts it (pictures and sample Data.ini in a folder of its
// own, COM1 "open" with lines that only count), is left 500 ms to be exposed and painted, and
// then ticks as fast as it can with a clock that steps one second per tick, the event loop run
// after every tick so each tick is also painted. VmRSS and its parts come from
// /proc/self/status; BENCH_SMAPS=<file> saves /proc/self/smaps at start-up. Compare with
// bench_barewindow; bench/memory.sh runs both.

#include "benchrig.h"

#include <QGuiApplication>

using namespace tikvor;
using namespace tikvor::bench;

int main(int argc, char* argv[])
{
    const int ticks = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    defaultToOffscreen();
    QApplication app(argc, argv);

    Window w;
    if (!w.load())
        return 1;
    settle(500);
    std::printf("platform %s, window %dx%d\n", qPrintable(QGuiApplication::platformName()),
                w.form.width(), w.form.height());
    printMemory("after start-up");
    saveMappings();
    const long startKb = statusKb("VmRSS");

    // Checkpoints tell a one-off warm-up (plugins, caches) from steady growth.
    const int checkpoints[] = {100, 1000, 5000};
    for (int i = 1; i <= ticks; ++i) {
        w.tick();
        QCoreApplication::processEvents();
        for (int c : checkpoints)
            if (i == c && c < ticks)
                printMemory(qPrintable(QStringLiteral("after %1 ticks").arg(c)));
    }
    settle(200);
    printMemory(qPrintable(QStringLiteral("after %1 ticks").arg(ticks)));
    const long endKb = statusKb("VmRSS");
    std::printf("RESULT program=tikvor platform=%s rss_start_kb=%ld rss_end_kb=%ld ticks=%d "
                "growth_kb=%ld\n",
                qPrintable(QGuiApplication::platformName()), startKb, endKb, ticks,
                endKb - startKb);
    return 0;
}
