// CPU and wall time of one tick of the main window.
//
// Usage: bench_tickcost [TICKS [VARIANT [PAUSE_MS]]]
//   TICKS    measured ticks per variant (default 5000), after 100 warm-up ticks
//   VARIANT  tick | events | repaint | minimised | all (default all)
//     tick     Form1::Timer1_Timer() alone: the clock face, the frame, the shift-out
//     events   the tick, then QCoreApplication::processEvents(): what the event loop does
//              after a real tick, painting only what changed
//     repaint  the tick, then Form1::repaint(): the whole window painted every time
//     minimised  the tick and the event loop with the window minimised, when the tick also
//              writes the time into the caption
//   PAUSE_MS sleep between ticks (default 0). Back to back, every tick finds the caches warm
//            from the one before; the running clock ticks once a second and finds them cold.
//            bench_tickcost 60 events 1000 measures that case (and takes as long as it says).
// Runs on QT_QPA_PLATFORM=offscreen unless QT_QPA_PLATFORM is set (e.g. xcb under xvfb-run).
// The clock steps one second per tick; COM1 "opens" and its lines only count, so nothing
// waits for a real second and no device is touched. Times are per tick, in microseconds:
// process CPU time (CLOCK_PROCESS_CPUTIME_ID, all threads) and wall time (CLOCK_MONOTONIC).
// For a profile: valgrind --tool=callgrind bench_tickcost 500 tick

#include "benchrig.h"

#include <QGuiApplication>

#include <cstring>

using namespace tikvor;
using namespace tikvor::bench;

namespace {

// Proof that a variant really painted: paint events reaching the seven pictures.
class PaintCounter : public QObject {
public:
    long long paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

enum class Variant { Tick, Events, Repaint, Minimised };

void runVariant(Window& w, PaintCounter& counter, Variant variant, const char* name, int ticks,
                int pauseMs)
{
    const auto once = [&] {
        w.tick();
        if (variant == Variant::Events || variant == Variant::Minimised)
            QCoreApplication::processEvents();
        else if (variant == Variant::Repaint)
            w.form.repaint();
    };
    if (variant == Variant::Minimised) {
        w.form.showMinimized();
        QCoreApplication::processEvents();
    }
    for (int i = 0; i < 100; ++i)
        once();
    // Whatever the warm-up left pending must not be charged to the first measured tick.
    QCoreApplication::processEvents();

    std::vector<double> cpu, wall;
    cpu.reserve(static_cast<size_t>(ticks));
    wall.reserve(static_cast<size_t>(ticks));
    const long long paintsBefore = counter.paints;
    const long long changesBefore = w.lines.changes;
    const long long cpuStart = nanos(CLOCK_PROCESS_CPUTIME_ID);
    for (int i = 0; i < ticks; ++i) {
        if (pauseMs > 0)
            QThread::msleep(static_cast<unsigned long>(pauseMs));
        const long long c0 = nanos(CLOCK_PROCESS_CPUTIME_ID);
        const long long w0 = nanos(CLOCK_MONOTONIC);
        once();
        const long long w1 = nanos(CLOCK_MONOTONIC);
        const long long c1 = nanos(CLOCK_PROCESS_CPUTIME_ID);
        cpu.push_back((c1 - c0) / 1000.0);
        wall.push_back((w1 - w0) / 1000.0);
    }
    const double cpuTotalMs = (nanos(CLOCK_PROCESS_CPUTIME_ID) - cpuStart) / 1e6;
    if (variant == Variant::Minimised) {
        if (!w.form.isMinimized())
            std::printf("note: the window did not stay minimised\n");
        w.form.showNormal();
        QCoreApplication::processEvents();
    }
    const Summary c = summarize(cpu);
    const Summary t = summarize(wall);
    std::printf("%-9s %8.1f %9.1f %9.1f %9.1f   %9.1f %9.1f %9.1f %9.1f   %7.2f %6.1f\n", name,
                c.mean, c.median, c.p99, c.max, t.mean, t.median, t.p99, t.max,
                static_cast<double>(counter.paints - paintsBefore) / ticks,
                static_cast<double>(w.lines.changes - changesBefore) / ticks);
    std::printf("RESULT variant=%s ticks=%d pause_ms=%d cpu_mean_us=%.1f cpu_median_us=%.1f "
                "cpu_p99_us=%.1f "
                "wall_mean_us=%.1f wall_median_us=%.1f wall_p99_us=%.1f cpu_total_ms=%.1f\n",
                name, ticks, pauseMs, c.mean, c.median, c.p99, t.mean, t.median, t.p99, cpuTotalMs);
}

} // namespace

int main(int argc, char* argv[])
{
    const int ticks = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5000;
    const char* only = argc > 2 ? argv[2] : "all";
    const int pauseMs = argc > 3 ? std::max(0, std::atoi(argv[3])) : 0;
    defaultToOffscreen();
    QApplication app(argc, argv);

    Window w;
    if (!w.load())
        return 1;
    settle(300);
    if (w.desktop.boxes)
        std::printf("note: %d message box(es) came up during start-up\n", w.desktop.boxes);

    PaintCounter counter;
    for (int i = 1; i <= 7; ++i)
        w.form.findChild<QWidget*>(QStringLiteral("Image%1").arg(i))->installEventFilter(&counter);

    std::printf("platform %s, %d ticks per variant after 100 warm-up ticks, %d ms apart, "
                "microseconds per tick\n",
                qPrintable(QGuiApplication::platformName()), ticks, pauseMs);
    std::printf("%-9s %8s %9s %9s %9s   %9s %9s %9s %9s   %7s %6s\n", "variant", "cpu mean",
                "cpu med", "cpu p99", "cpu max", "wall mean", "wall med", "wall p99", "wall max",
                "paints", "lines");
    const struct {
        Variant variant;
        const char* name;
    } variants[] = {{Variant::Tick, "tick"},
                    {Variant::Events, "events"},
                    {Variant::Repaint, "repaint"},
                    {Variant::Minimised, "minimised"}};
    for (const auto& v : variants)
        if (!std::strcmp(only, "all") || !std::strcmp(only, v.name))
            runVariant(w, counter, v.variant, v.name, ticks, pauseMs);
    return 0;
}
