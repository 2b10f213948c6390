// How late the clock is: for every second, from the start of that wall-clock second to the tick
// that shows it, and to the start and the end of its frame on the line; plus how long the tick
// held the event loop (the window), and any second shown twice or left out. With --step: how soon
// a set clock shows.
//
// Usage: bench_ticklag [SECONDS] [--minutes N] [--slow-line | --real-line] [--qtimer | --old]
//                      [--step] [--bare]
//   SECONDS      length of the run (default 60); --minutes N is the same in minutes
//   --slow-line  the recording line takes 1 ms per operation, as a USB adapter does
//   --real-line  the real serial-line layer, ComLines, on a pseudo-terminal made here and given
//                modem lines by the line shim: every line change is a real system call. Run as
//                LD_PRELOAD=<build>/tests/liblineshim.so bench_ticklag --real-line
//   --qtimer     the tick aimed by a plain Qt timer (a wait in whole milliseconds) instead of the
//                system's wall-clock alarm: how the clock was aimed before
//   --old        the first design for comparison: a free-running 1000 ms QTimer and the shift-out
//                made right in the tick, on the event loop's thread
//   --step       the wall clock is the real one plus an offset, stepped every 1.1 to 1.9 s
//                (forward and back, by a second up to an hour) and each step reported as the
//                system reports a set clock; measures from the step to the tick and to the end
//                of its frame on the line. A plain Qt timer aims the ticks, as no system alarm
//                can follow an injected clock.
//   --bare       for reference, no Qt and no line: a loop that waits on a timerfd for each
//                wall-clock second and reads the clock: what the machine itself allows (Linux)
// The tick is the real one: SecondTimer, and ClockEngine without a face (nothing drawn), handing
// its frame to a LineSender. The recording line decodes each frame from its TXD levels; on the
// real line a layer around ComLines does the same. Each notes the wall clock when the frame's
// first DTR rise and its last DTR fall have returned. No serial device is ever opened.

#include "clock/clockengine.h"
#include "clock/frame.h"
#include "clock/secondtimer.h"
#include "clock/sendframe.h"
#include "port/comlines.h"
#include "port/linesender.h"
#include "startup/charactertable.h"
#include "wallclock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#ifdef Q_OS_LINUX
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/timerfd.h>
#include <unistd.h>
#endif

using namespace tikvor;

namespace {

struct FrameOnLine {
    QString bits;
    qint64 startUs; // the first DTR rise has returned
    qint64 endUs;   // the last DTR fall has returned
};

// The line as the display sees it: frames come whole, so every 48th DTR fall ends one. Around
// ComLines, or standing in for it (instantly, or 1 ms per operation).
class TimedLines : public SerialLines {
public:
    TimedLines(SerialLines* real, bool slow) : m_real(real), m_slow(slow) {}
    int OpenPort(const QString& mode) override { return m_real ? m_real->OpenPort(mode) : 1; }
    bool DTR(int level) override
    {
        if (!pass(&SerialLines::DTR, level))
            return false;
        if (level && m_bits.isEmpty()) {
            m_startUs = wallMicros();
        } else if (!level && m_bits.size() == FrameLength) {
            const qint64 end = wallMicros();
            const std::lock_guard lock(mutex);
            frames.push_back({m_bits, m_startUs, end});
            m_bits.clear();
        }
        return true;
    }
    bool TXD(int level) override
    {
        if (!pass(&SerialLines::TXD, level))
            return false;
        m_bits.prepend(QChar(u'0' + level));
        return true;
    }

    std::mutex mutex;
    std::vector<FrameOnLine> frames;

private:
    bool pass(bool (SerialLines::*op)(int), int level)
    {
        if (m_real)
            return (m_real->*op)(level);
        if (m_slow)
            QThread::usleep(1000);
        return true;
    }
    SerialLines* m_real;
    bool m_slow;
    QString m_bits;
    qint64 m_startUs = 0;
};

#ifdef Q_OS_LINUX
// A pseudo-terminal whose slave stands for COM1; the master stays open so the slave exists.
struct Pty {
    int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    QString slave = master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0
                        ? QString::fromLocal8Bit(::ptsname(master))
                        : QString();
    ~Pty()
    {
        if (master >= 0)
            ::close(master);
    }
};
#endif

// The time of day for the engine, remembering the reading it came from.
class RecordedTime final : public TimeSource {
public:
    explicit RecordedTime(std::function<qint64()> read) : m_read(std::move(read)) {}
    QTime currentTime() const override
    {
        lastMs = m_read();
        return QDateTime::fromMSecsSinceEpoch(lastMs).time();
    }
    mutable qint64 lastMs = 0;

private:
    std::function<qint64()> m_read;
};

class CallSink final : public FrameSink {
public:
    explicit CallSink(std::function<void(ClockState&)> send) : m_send(std::move(send)) {}
    void sendFrame(ClockState& state) override { m_send(state); }

private:
    std::function<void(ClockState&)> m_send;
};

struct TickRecord {
    qint64 second;    // the wall-clock second shown
    qint64 startUs;   // when the tick handler began
    qint64 handlerUs; // how long it held the event loop
    QString frame;
    const FrameOnLine* line = nullptr;
};

struct Step {
    qint64 atUs; // real wall clock
    qint64 byMs;
};

void row(const char* name, std::vector<double> ms)
{
    if (ms.empty()) {
        std::printf("%-38s %9s\n", name, "-");
        return;
    }
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) {
        return ms[std::min(ms.size() - 1, static_cast<size_t>(q * static_cast<double>(ms.size())))];
    };
    std::printf("%-38s %9.3f %9.3f %9.3f %9.3f\n", name, ms.front(), at(0.5), at(0.99), ms.back());
}

int usage()
{
    std::fprintf(stderr, "usage: bench_ticklag [SECONDS] [--minutes N] [--slow-line | --real-line] "
                         "[--qtimer | --old] [--step] [--bare]\n");
    return 2;
}

#ifdef Q_OS_LINUX
int bare(int seconds)
{
    const int fd = ::timerfd_create(CLOCK_REALTIME, TFD_CLOEXEC);
    std::vector<double> woken;
    for (int i = 0; i < seconds && fd >= 0; ++i) {
        const qint64 next = wallSecond(systemWallClockMs()) + 1;
        itimerspec due{};
        due.it_value.tv_sec = static_cast<time_t>(next);
        std::uint64_t expirations = 0;
        if (::timerfd_settime(fd, TFD_TIMER_ABSTIME, &due, nullptr) != 0 ||
            ::read(fd, &expirations, sizeof expirations) != sizeof expirations)
            return 1;
        woken.push_back(static_cast<double>(wallMicros() - next * 1'000'000) / 1000.0);
    }
    std::printf("bench_ticklag: %d s, bare timerfd loop (no Qt, no line)\n", seconds);
    std::printf("%-38s %9s %9s %9s %9s\n", "ms", "min", "median", "p99", "max");
    row("second start -> woken", woken);
    return 0;
}
#endif

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int seconds = 60;
    bool slow = false;
    bool realLine = false;
    bool qtimer = false;
    bool old = false;
    bool stepping = false;
    bool bareLoop = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--slow-line"))
            slow = true;
        else if (!std::strcmp(argv[i], "--real-line"))
            realLine = true;
        else if (!std::strcmp(argv[i], "--qtimer"))
            qtimer = true;
        else if (!std::strcmp(argv[i], "--old"))
            old = true;
        else if (!std::strcmp(argv[i], "--step"))
            stepping = true;
        else if (!std::strcmp(argv[i], "--bare"))
            bareLoop = true;
        else if (!std::strcmp(argv[i], "--minutes") && i + 1 < argc)
            seconds = 60 * std::atoi(argv[++i]);
        else if (std::atoi(argv[i]) > 0)
            seconds = std::atoi(argv[i]);
        else
            return usage();
    }
    if ((slow && realLine) || (qtimer && old) || (old && stepping))
        return usage();
    if (bareLoop) {
#ifdef Q_OS_LINUX
        return bare(seconds);
#else
        std::fprintf(stderr, "--bare needs Linux\n");
        return 1;
#endif
    }

    // --- the line ---
    std::unique_ptr<ComLines> com;
    QString lineName = slow ? QStringLiteral("recording, 1 ms per operation")
                            : QStringLiteral("recording, instant");
#ifdef Q_OS_LINUX
    Pty pty;
    if (realLine) {
        if (!dlsym(RTLD_DEFAULT, "lineshim_calls")) {
            std::fprintf(stderr, "--real-line needs the line shim: LD_PRELOAD=%s\n",
                         TIKVOR_LINESHIM);
            return 1;
        }
        if (pty.slave.isEmpty()) {
            std::perror("posix_openpt");
            return 1;
        }
        // Built here, never the defaults: COM1 is the pseudo-terminal, the rest lead nowhere.
        PortMap map;
        map.devices = {pty.slave, QStringLiteral("/nonexistent/tikvor-bench-com2"),
                       QStringLiteral("/nonexistent/tikvor-bench-com3"),
                       QStringLiteral("/nonexistent/tikvor-bench-com4"),
                       QStringLiteral("/nonexistent/tikvor-bench-com5")};
        com = std::make_unique<ComLines>(map);
        lineName = QStringLiteral("ComLines on %1 (line shim)").arg(pty.slave);
    }
#else
    if (realLine) {
        std::fprintf(stderr, "--real-line needs Linux\n");
        return 1;
    }
#endif
    TimedLines lines(com.get(), slow);
    const QString mode = QStringLiteral("COM1,1200,N,8,1");

    // --- the clock ---
    std::atomic<qint64> offsetMs = 0;
    std::unique_ptr<SecondTimer> timer;
    QTimer oldTimer;
    std::unique_ptr<LineSender> sender;
    if (old) {
        if (lines.OpenPort(mode) == 0) {
            std::fprintf(stderr, "COM1 did not open\n");
            return 1;
        }
    } else {
        sender = std::make_unique<LineSender>(lines);
        std::atomic<int> opened = 0;
        sender->post([&](SerialLines& l) { opened = l.OpenPort(mode); });
        if (!sender->waitIdle(10000) || opened == 0) {
            std::fprintf(stderr, "COM1 did not open\n");
            return 1;
        }
        if (stepping)
            timer = std::make_unique<SecondTimer>(
                [&offsetMs] { return systemWallClockMs() + offsetMs.load(); });
        else if (qtimer)
            timer = std::make_unique<SecondTimer>(SecondTimer::WallClock(&systemWallClockMs));
        else
            timer = std::make_unique<SecondTimer>();
    }

    // --- the tick, as the window runs it, with nothing drawn ---
    const CharacterTable table = LoadCharacterTable(QStringLiteral(TIKVOR_SAMPLE_DATA_INI));
    ClockState state;
    state.BlinkSign = 1.0f;
    RecordedTime time(old ? std::function<qint64()>(&systemWallClockMs)
                          : std::function<qint64()>([&] { return timer->wallTime(); }));
    CallSink sink([&](ClockState& s) {
        if (sender)
            sender->sendFrame(s.FrameBits);
        else
            SendFrame(s.FrameBits, lines);
    });
    ClockEngine engine(state, table, time, QString()); // no face: nothing is drawn
    engine.setFrameSink(&sink);

    std::vector<TickRecord> ticks;
    ticks.reserve(static_cast<size_t>(seconds) * 2 + 16);
    bool ticked = false;
    const auto onTick = [&] {
        const qint64 start = wallMicros();
        engine.UpdateClock();
        ticks.push_back({wallSecond(time.lastMs), start, wallMicros() - start, state.FrameBits});
        ticked = true;
    };
    long long reaims = 0;
    if (old) {
        oldTimer.setInterval(1000);
        QObject::connect(&oldTimer, &QTimer::timeout, onTick);
        oldTimer.start();
    } else {
        QObject::connect(timer.get(), &SecondTimer::tick, onTick);
        // Connected after the timer's own handler: by now the firing has ticked or re-aimed.
        QObject::connect(&timer->alarm(), &WallAlarm::expired, [&] {
            reaims += ticked ? 0 : 1;
            ticked = false;
        });
        timer->start();
    }

    // --- steps, from a thread of their own, as a set clock comes from outside ---
    std::vector<Step> steps;
    std::atomic<bool> stopSteps = false;
    std::thread stepper;
    if (stepping) {
        stepper = std::thread([&] {
            const qint64 sizes[] = {3'600'250, -1'800'600, 61'400, -5'700, 1'000, -1'000};
            std::mt19937 random(12345);
            std::uniform_int_distribution<int> pause(1100, 1900);
            for (size_t n = 0; !stopSteps; ++n) {
                const auto until =
                    std::chrono::steady_clock::now() + std::chrono::milliseconds(pause(random));
                while (!stopSteps && std::chrono::steady_clock::now() < until)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                if (stopSteps)
                    break;
                const qint64 by = sizes[n % std::size(sizes)];
                const qint64 at = wallMicros();
                offsetMs += by;
                QMetaObject::invokeMethod(timer.get(), &SecondTimer::clockStepped,
                                          Qt::QueuedConnection);
                steps.push_back({at, by}); // read by main only after the join
            }
        });
    }

    QTimer::singleShot(seconds * 1000 + 300, &app, &QCoreApplication::quit);
    app.exec();
    stopSteps = true;
    if (stepper.joinable())
        stepper.join();
    if (timer)
        timer->stop();
    if (sender)
        sender->waitIdle(5000);

    // --- figures ---
    std::vector<double> toTick, toStart, toEnd, handler;
    int repeated = 0;
    int skipped = 0;
    int notOnLine = 0;
    {
        const std::lock_guard lock(lines.mutex);
        // Frames reach the line in the order of their ticks; a replaced one never does.
        size_t cursor = 0;
        for (TickRecord& t : ticks) {
            for (size_t i = cursor; i < lines.frames.size(); ++i) {
                if (lines.frames[i].bits == t.frame) {
                    t.line = &lines.frames[i];
                    cursor = i + 1;
                    break;
                }
            }
            notOnLine += t.line ? 0 : 1;
        }
        for (size_t i = 0; i < ticks.size() && !stepping; ++i) {
            const TickRecord& t = ticks[i];
            const double start = static_cast<double>(t.second) * 1e6;
            toTick.push_back((static_cast<double>(t.startUs) - start) / 1000.0);
            handler.push_back(static_cast<double>(t.handlerUs) / 1000.0);
            if (t.line) {
                toStart.push_back((static_cast<double>(t.line->startUs) - start) / 1000.0);
                toEnd.push_back((static_cast<double>(t.line->endUs) - start) / 1000.0);
            }
            if (i > 0 && t.second == ticks[i - 1].second)
                ++repeated;
            if (i > 0 && t.second > ticks[i - 1].second + 1)
                skipped += static_cast<int>(t.second - ticks[i - 1].second - 1);
        }
    }

    const char* design = old        ? "old (1000 ms QTimer, shift-out in the tick)"
                         : qtimer   ? "SecondTimer on a Qt timer, frame first"
                         : stepping ? "SecondTimer on an injected, stepped clock and a Qt timer"
                                    : "SecondTimer on the system's wall-clock alarm, frame first";
    std::printf("bench_ticklag: %d s, %s; line: %s\n", seconds, design, qPrintable(lineName));
    std::printf("%-38s %9s %9s %9s %9s\n", "ms", "min", "median", "p99", "max");
    if (stepping) {
        std::vector<double> stepToTick, stepToEnd;
        int late = 0;
        size_t next = 0;
        for (const Step& step : steps) {
            while (next < ticks.size() && ticks[next].startUs < step.atUs)
                ++next;
            if (next == ticks.size())
                break;
            const TickRecord& t = ticks[next];
            const double tickMs = static_cast<double>(t.startUs - step.atUs) / 1000.0;
            stepToTick.push_back(tickMs);
            if (t.line)
                stepToEnd.push_back(static_cast<double>(t.line->endUs - step.atUs) / 1000.0);
            late += t.line && t.line->endUs - step.atUs <= 10'000 ? 0 : 1;
        }
        row("set clock -> tick", stepToTick);
        row("set clock -> frame end on line", stepToEnd);
        std::printf("steps %zu, the new time on the line within 10 ms after %zu of them",
                    stepToTick.size(), stepToTick.size() - static_cast<size_t>(late));
    } else {
        row("second start -> tick", toTick);
        row("second start -> frame start on line", toStart);
        row("second start -> frame end on line", toEnd);
        row("tick holds the event loop", handler);
        std::printf(
            "ticks %zu, seconds repeated %d, seconds left out %d, frames not on the line %d",
            ticks.size(), repeated, skipped, notOnLine);
        if (!old)
            std::printf(", alarm firings that only re-aimed %lld", reaims);
    }
    if (sender) {
        const LineSender::Stats stats = sender->stats();
        std::printf(", dropped %llu, cut %llu", static_cast<unsigned long long>(stats.dropped),
                    static_cast<unsigned long long>(stats.cutShort));
    }
    std::printf("\n");
    return 0;
}
