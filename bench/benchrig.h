#pragma once
// What the resource benchmarks share: a main window in a throw-away program folder, ticked by
// hand with a clock that steps one second per tick and lines that only count, so a run takes
// as long as the work and never touches a device; plus readings of CPU time and memory.

#include "port/seriallines.h"
#include "procstatus.h"
#include "ui/desktop.h"
#include "ui/form1.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <vector>

namespace tikvor::bench {

// A bench is meant to run on a machine without a display; an explicit choice still wins, so the
// same program also measures under a real X server.
inline void defaultToOffscreen()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

class SteppedTime : public TimeSource {
public:
    QTime now{9, 5, 7};
    void step() { now = now.addSecs(1); }
    QTime currentTime() const override { return now; }
};

// A box would block a run that nobody watches; a bench only needs to know one came up.
class SilentDesktop : public Desktop {
public:
    int boxes = 0;
    void message(QWidget*, const QString&, const QString&, BoxIcon) override { ++boxes; }
    void openUrl(const QString&) override {}
    void startTerminal(QWidget*, std::function<void(bool)> done) override { done(false); }
};

// COM1 opens, so every tick also builds and clocks out a frame, as on a connected display.
// Atomic: the window may hand frames to a thread of their own.
class CountingLines : public SerialLines {
public:
    std::atomic<long long> changes = 0;
    int OpenPort(const QString& mode) override { return mode.startsWith("COM1,") ? 1 : 0; }
    bool DTR(int) override { return ++changes, true; }
    bool TXD(int) override { return ++changes, true; }
};

inline QString dataFolder()
{
    const QString fromEnv = qEnvironmentVariable("TIKVOR_DATA_DIR");
    return fromEnv.isEmpty() ? QStringLiteral(TIKVOR_DATA_DIR) : fromEnv;
}

// The delivered pictures and sample Data.ini in a folder of their own: the window reads its
// pictures from disk on every tick, so where they lie is part of what is measured.
struct ProgramFolder {
    QTemporaryDir dir;
    bool complete = true;
    ProgramFolder()
    {
        const QDir source(dataFolder());
        QDir(dir.path()).mkdir("data");
        // No name filter: it would compile a regular expression, and with it pull pages of the
        // regex library into a memory figure that is meant to be the window's alone.
        int pictures = 0;
        for (const QString& name : source.entryList(QDir::Files)) {
            if (!name.endsWith(QLatin1String(".gif")))
                continue;
            ++pictures;
            complete &= QFile::copy(source.filePath(name), dir.filePath("data/" + name));
        }
        complete &= pictures >= 24;
        complete &= QFile::copy(source.filePath("Data.ini"), dir.filePath("Data.ini"));
    }
};

struct Window {
    ProgramFolder folder;
    SteppedTime time;
    SilentDesktop desktop;
    CountingLines lines;
    Form1 form{Form1Options{folder.dir.path(), &time, &desktop, &lines, true, {}}};

    // Starts the window as the program does, then stops its own timer: the bench decides
    // when a tick runs, and a real second must not slip an extra one into a measurement.
    bool load()
    {
        if (!folder.complete) {
            std::fprintf(stderr, "pictures or Data.ini missing in %s\n", qPrintable(dataFolder()));
            return false;
        }
        const bool ok = form.Form_Load();
        form.timer().stop();
        return ok;
    }
    // When frames go out on a thread of their own, a tick is charged with its frame: the bench
    // waits for it, as otherwise the next tick would only replace a frame still waiting.
    void tick()
    {
        time.step();
        form.Timer1_Timer();
        waitForFrame(form);
    }

private:
    // A template, so that a window without a sender thread compiles to nothing here.
    template <typename Form> static void waitForFrame(Form& f)
    {
        if constexpr (requires { f.lineSender()->waitIdle(0); }) {
            if (auto* sender = f.lineSender())
                sender->waitIdle(5000);
        }
    }
};

// Lets a freshly shown window be exposed and painted; an X server answers asynchronously.
inline void settle(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
}

inline long long nanos(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

inline void printMemory(const char* when)
{
    std::printf("%-22s VmRSS %7ld kB  (anon %6ld, file %6ld, shmem %5ld)  VmHWM %7ld kB\n", when,
                statusKb("VmRSS"), statusKb("RssAnon"), statusKb("RssFile"), statusKb("RssShmem"),
                statusKb("VmHWM"));
}

struct Summary {
    double mean = 0, median = 0, p99 = 0, max = 0;
};

inline Summary summarize(std::vector<double> samples)
{
    Summary s;
    if (samples.empty())
        return s;
    std::sort(samples.begin(), samples.end());
    for (double v : samples)
        s.mean += v;
    s.mean /= static_cast<double>(samples.size());
    const auto at = [&](double q) {
        return samples[std::min(samples.size() - 1, static_cast<size_t>(q * samples.size()))];
    };
    s.median = at(0.5);
    s.p99 = at(0.99);
    s.max = samples.back();
    return s;
}

} // namespace tikvor::bench
