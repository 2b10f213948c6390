// How late the clock is: for every second, from the start of that wall-clock second to the tick
// that shows it, and to the start and the end of the frame that shows it on the line (negative
// when it is early); plus how long the tick held the event loop (the window), and any second the
// line showed twice or left out. With --step: how soon a set clock shows.
//
// Usage: bench_ticklag [SECONDS] [--minutes N] [--real-line] [--delay-ms N | --slow-line]
//                      [--qtimer | --old] [--step] [--bare] [--busy N] [--unprivileged]
//   SECONDS      length of the run (default 60); --minutes N is the same in minutes
//   --real-line  the real serial-line layer, ComLines, on a pseudo-terminal made here and given
//                modem lines by the line shim: every line change is a real system call. Run as
//                LD_PRELOAD=<build>/tests/liblineshim.so bench_ticklag --real-line
//   --delay-ms N every line operation takes N ms, as on a USB adapter (1 ms is typical, 5 ms a
//                slow one). On the real line the shim sleeps that long in every line change
//                (the bench sets LINESHIM_DELAY_US itself), so a TXD that ComLines leaves out
//                costs nothing; on the recording line every operation sleeps.
//   --slow-line  the same as --delay-ms 1
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
//   --busy N     a busy machine: N processes spin at normal priority for the whole run
//   --freeze N   the program frozen for N s (SIGSTOP, then SIGCONT, as Ctrl+Z and fg do) every
//                5 to 9 s, at any point of a second; counts the frames that went out off their
//                second (a stale time) and those older than the one before
//   --unprivileged  as a user runs it: started as root, the bench becomes nobody first, so the
//                line thread cannot raise its own priority (nor can it where RLIMIT_RTPRIO and
//                RLIMIT_NICE are 0, as they are for a user by default)
// The tick is the real one: the display link (SecondTimer, ClockEngine without a face, the line
// thread) as tikvor-display runs it. The recording line, or a layer around ComLines, notes the
// wall clock when each frame's first DTR rise and its last DTR fall have returned; the second a
// frame shows is read back from its bits with the character table. No serial device is opened.

#include "clock/clockengine.h"
#include "clock/frame.h"
#include "clock/secondtimer.h"
#include "clock/sendframe.h"
#include "line/linesender.h"
#include "link/displaylink.h"
#include "port/comlines.h"
#include "startup/charactertable.h"
#include "wallclock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/timerfd.h>
#include <sys/wait.h>
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
// ComLines, or standing in for it (instantly, or some time per operation).
class TimedLines : public SerialLines {
public:
    TimedLines(SerialLines* real, int delayUs) : m_real(real), m_delayUs(delayUs) {}
    int OpenPort(const QString& mode) override { return m_real ? m_real->OpenPort(mode) : 1; }
    std::optional<qint64> lineChangeUs() const override
    {
        return m_real ? m_real->lineChangeUs() : std::optional<qint64>(m_delayUs);
    }
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
        if (m_delayUs > 0)
            QThread::usleep(static_cast<unsigned long>(m_delayUs));
        return true;
    }
    SerialLines* m_real;
    int m_delayUs;
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

// The local second of the day a frame shows, read back from its bits: each group's seven
// segment characters against the table (the eighth is the dot). Empty for what no table digit
// makes.
std::optional<int> shownSecondOfDay(const QString& bits, const CharacterTable& table)
{
    if (bits.size() != FrameLength)
        return std::nullopt;
    int digits[6] = {};
    for (int group = 0; group < 6; ++group) {
        const QString segments = bits.mid(group * PatternLength, PatternLength - 1);
        int digit = -1;
        for (int d = 0; d < 10 && digit < 0; ++d)
            digit = table[static_cast<size_t>(d)].left(PatternLength - 1) == segments ? d : -1;
        if (digit < 0)
            return std::nullopt;
        digits[group] = digit;
    }
    // Groups: seconds units, seconds tens, minutes units, minutes tens, hours units, hours tens.
    return (digits[5] * 10 + digits[4]) * 3600 + (digits[3] * 10 + digits[2]) * 60 +
           digits[1] * 10 + digits[0];
}

// The start of the wall-clock second, in microseconds, whose local time of day is secondOfDay,
// the one nearest to nearUs.
qint64 boundaryOf(int secondOfDay, qint64 nearUs)
{
    const qint64 near = nearUs / 1'000'000;
    const int there = QDateTime::fromSecsSinceEpoch(near).time().msecsSinceStartOfDay() / 1000;
    int diff = (secondOfDay - there) % 86400;
    if (diff >= 43200)
        diff -= 86400;
    else if (diff < -43200)
        diff += 86400;
    return (near + diff) * 1'000'000;
}

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
    QString frame;    // the frame of that second
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
    std::fprintf(stderr, "usage: bench_ticklag [SECONDS] [--minutes N] [--real-line] "
                         "[--delay-ms N | --slow-line] [--qtimer | --old] [--step] [--bare] "
                         "[--busy N] [--freeze N] [--unprivileged]\n");
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

#ifdef Q_OS_LINUX
// A helper process of the bench, ended and reaped.
void endChild(pid_t pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

// Processes that keep a core busy until they are killed, at the priority they were born with.
struct BusyProcesses {
    std::vector<pid_t> pids;
    explicit BusyProcesses(int count)
    {
        for (int i = 0; i < count; ++i) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                volatile unsigned long spin = 0;
                for (;;)
                    spin = spin + 1;
            }
            if (pid > 0)
                pids.push_back(pid);
        }
    }
    ~BusyProcesses()
    {
        for (pid_t pid : pids)
            endChild(pid);
    }
};

// Freezes the process that made it, again and again, from a process of its own.
struct Freezer {
    pid_t pid = -1;
    explicit Freezer(int seconds)
    {
        if (seconds <= 0)
            return;
        const pid_t parent = ::getpid();
        pid = ::fork();
        if (pid != 0)
            return;
        std::mt19937 random(2026);
        std::uniform_int_distribution<int> pause(5'000'000, 9'000'000);
        for (;;) { // only calls that are safe after a fork
            ::usleep(static_cast<useconds_t>(pause(random)));
            ::kill(parent, SIGSTOP);
            ::sleep(static_cast<unsigned>(seconds));
            ::kill(parent, SIGCONT);
        }
    }
    ~Freezer() { endChild(pid); }
};

bool becomeUser()
{
    const rlimit none{0, 0};
    if (::setrlimit(RLIMIT_RTPRIO, &none) != 0 || ::setrlimit(RLIMIT_NICE, &none) != 0)
        return false;
    if (::geteuid() != 0)
        return true;
    const gid_t nogroup = 65534;
    const uid_t nobody = 65534;
    return ::setgroups(0, nullptr) == 0 && ::setresgid(nogroup, nogroup, nogroup) == 0 &&
           ::setresuid(nobody, nobody, nobody) == 0;
}
#endif

} // namespace

int main(int argc, char** argv)
{
#ifdef Q_OS_LINUX
    // Before anything is made: the pty must belong to the user the bench runs as.
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--unprivileged") && !becomeUser()) {
            std::perror("--unprivileged");
            return 1;
        }
    }
#endif
    QCoreApplication app(argc, argv);
    int busy = 0;
    int freeze = 0;
    int seconds = 60;
    int delayMs = 0;
    bool realLine = false;
    bool qtimer = false;
    bool old = false;
    bool stepping = false;
    bool bareLoop = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--slow-line"))
            delayMs = 1;
        else if (!std::strcmp(argv[i], "--delay-ms") && i + 1 < argc)
            delayMs = std::atoi(argv[++i]);
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
        else if (!std::strcmp(argv[i], "--busy") && i + 1 < argc)
            busy = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--freeze") && i + 1 < argc)
            freeze = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--unprivileged"))
            continue;
        else if (!std::strcmp(argv[i], "--minutes") && i + 1 < argc)
            seconds = 60 * std::atoi(argv[++i]);
        else if (std::atoi(argv[i]) > 0)
            seconds = std::atoi(argv[i]);
        else
            return usage();
    }
    if (delayMs < 0 || (qtimer && old) || (old && stepping))
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
    QString lineName = QStringLiteral("recording, %1 ms per operation").arg(delayMs);
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
        // The shim reads it at the first line change, which has not happened yet.
        qputenv("LINESHIM_DELAY_US", QByteArray::number(delayMs * 1000));
        // Built here, never the defaults: COM1 is the pseudo-terminal, the rest lead nowhere.
        PortMap map;
        map.devices = {pty.slave, QStringLiteral("/nonexistent/tikvor-bench-com2"),
                       QStringLiteral("/nonexistent/tikvor-bench-com3"),
                       QStringLiteral("/nonexistent/tikvor-bench-com4"),
                       QStringLiteral("/nonexistent/tikvor-bench-com5")};
        com = std::make_unique<ComLines>(map);
        lineName = QStringLiteral("ComLines on %1 (line shim, %2 ms per line change)")
                       .arg(pty.slave)
                       .arg(delayMs);
    }
#else
    if (realLine) {
        std::fprintf(stderr, "--real-line needs Linux\n");
        return 1;
    }
#endif
    TimedLines lines(com.get(), realLine ? 0 : delayMs * 1000);
    const QString sampleFolder = QFileInfo(QStringLiteral(TIKVOR_SAMPLE_DATA_INI)).path();
    const CharacterTable table = LoadCharacterTable(QStringLiteral(TIKVOR_SAMPLE_DATA_INI));

    std::vector<TickRecord> ticks;
    ticks.reserve(static_cast<size_t>(seconds) * 2 + 16);
    long long reaims = 0;
    bool ticked = false;
    std::atomic<qint64> offsetMs = 0;

    // --- the old design: the engine's frame clocked out inside the tick ---
    ClockState state;
    state.BlinkSign = 1.0f;
    RecordedTime time(&systemWallClockMs);
    CallSink sink([&](ClockState& s) { SendFrame(s.FrameBits, lines); });
    ClockEngine engine(state, table, time); // no face: nothing is drawn
    engine.setFrameSink(&sink);
    QTimer oldTimer;

    // --- the display link, as tikvor-display runs it ---
    std::unique_ptr<DisplayLink> link;
    if (old) {
        if (lines.OpenPort(QStringLiteral("COM1,1200,N,8,1")) == 0) {
            std::fprintf(stderr, "COM1 did not open\n");
            return 1;
        }
        oldTimer.setInterval(1000);
        QObject::connect(&oldTimer, &QTimer::timeout, [&] {
            const qint64 start = wallMicros();
            engine.UpdateClock();
            ticks.push_back(
                {wallSecond(time.lastMs), start, wallMicros() - start, state.FrameBits});
        });
        oldTimer.start();
    } else {
        LinkOptions options;
        options.programFolder = sampleFolder;
        options.ports = PortPolicy::Retry;
        options.onlyPort = 1;
        options.seams.lines = &lines;
        if (stepping)
            options.seams.wallClock = [&offsetMs] { return systemWallClockMs() + offsetMs.load(); };
        else if (qtimer)
            options.seams.wallClock = &systemWallClockMs;
        link = std::make_unique<DisplayLink>(options);
        QObject::connect(link.get(), &DisplayLink::noPort, [] {
            std::fprintf(stderr, "COM1 did not open\n");
            QCoreApplication::exit(1);
        });
        QObject::connect(link.get(), &DisplayLink::stopped, &app, &QCoreApplication::quit);
        // The link's tick, timed from here: its own connection is replaced by one that measures.
        SecondTimer& timer = link->timer();
        QObject::disconnect(&timer, &SecondTimer::tick, link.get(), &DisplayLink::tick);
        QObject::connect(&timer, &SecondTimer::tick, [&, l = link.get()] {
            const qint64 start = wallMicros();
            l->tick();
            ticks.push_back({wallSecond(l->timer().wallTime()), start, wallMicros() - start,
                             l->state().FrameBits});
            ticked = true;
        });
        // Connected after the timer's own handler: by now the firing has ticked or re-aimed.
        QObject::connect(&timer.alarm(), &WallAlarm::expired, [&] {
            reaims += ticked ? 0 : 1;
            ticked = false;
        });
        link->start();
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
                QMetaObject::invokeMethod(&link->timer(), &SecondTimer::clockStepped,
                                          Qt::QueuedConnection);
                steps.push_back({at, by}); // read by main only after the join
            }
        });
    }

    QTimer::singleShot(seconds * 1000 + 300, &app, [&] {
        if (link)
            link->stop(); // the frame on the line finished, then stopped() ends the loop
        else
            QCoreApplication::quit();
    });
#ifdef Q_OS_LINUX
    const BusyProcesses busyProcesses(busy);
    const Freezer freezer(freeze);
#else
    if (busy > 0 || freeze > 0)
        return usage();
#endif
    const int status = app.exec();
    stopSteps = true;
    if (stepper.joinable())
        stepper.join();
    if (status != 0)
        return status;

    // --- figures ---
    std::vector<double> toTick, handler, toStart, toEnd, endOff, firstOff;
    int repeated = 0;
    int skipped = 0;
    int backwards = 0;
    int offTheSecond = 0;
    int unreadable = 0;
    const std::lock_guard lock(lines.mutex);
    for (size_t i = 0; i < ticks.size() && !stepping; ++i) {
        const TickRecord& t = ticks[i];
        toTick.push_back(static_cast<double>(t.startUs - t.second * 1'000'000) / 1000.0);
        handler.push_back(static_cast<double>(t.handlerUs) / 1000.0);
    }
    // Each frame against the second it shows. The first is the start-up's, sent at once in
    // whatever part of its second the program started.
    std::optional<int> previous;
    for (size_t i = 0; i < lines.frames.size() && !stepping; ++i) {
        const FrameOnLine& f = lines.frames[i];
        const std::optional<int> shown = shownSecondOfDay(f.bits, table);
        if (!shown) {
            ++unreadable;
            continue;
        }
        if (previous) {
            int diff = ((*shown - *previous) % 86400 + 86400) % 86400;
            diff = diff > 43200 ? diff - 86400 : diff;
            repeated += diff == 0 ? 1 : 0;
            skipped += diff > 1 ? diff - 1 : 0;
            backwards += diff < 0 ? 1 : 0;
        }
        previous = shown;
        if (i == 0)
            continue;
        const qint64 boundary = boundaryOf(*shown, f.endUs);
        // Ended before its second by more than a margin, or after it: it showed the wrong time.
        offTheSecond += f.endUs < boundary - 50'000 || f.endUs >= boundary + 1'000'000 ? 1 : 0;
        // The 2nd to 4th frames on the port: timed before the line thread has learnt much.
        if (i < 4) {
            firstOff.push_back(std::abs(static_cast<double>(f.endUs - boundary) / 1000.0));
            continue;
        }
        toStart.push_back(static_cast<double>(f.startUs - boundary) / 1000.0);
        toEnd.push_back(static_cast<double>(f.endUs - boundary) / 1000.0);
        endOff.push_back(std::abs(toEnd.back()));
    }

    const char* design = old        ? "old (1000 ms QTimer, shift-out in the tick)"
                         : qtimer   ? "display link, SecondTimer on a Qt timer"
                         : stepping ? "display link, SecondTimer on an injected, stepped clock"
                                    : "display link, SecondTimer on the system's wall-clock alarm";
    std::printf("bench_ticklag: %d s, %s; line: %s%s\n", seconds, design, qPrintable(lineName),
                busy > 0 ? qPrintable(QStringLiteral("; %1 busy processes").arg(busy)) : "");
    if (!stepping)
        std::printf("frame start and end from the 5th frame on; the 2nd to 4th apart\n");
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
            stepToTick.push_back(static_cast<double>(t.startUs - step.atUs) / 1000.0);
            // The first frame after the step that shows what that tick showed.
            const FrameOnLine* shown = nullptr;
            for (const FrameOnLine& f : lines.frames) {
                if (f.endUs >= step.atUs && f.bits == t.frame) {
                    shown = &f;
                    break;
                }
            }
            if (shown)
                stepToEnd.push_back(static_cast<double>(shown->endUs - step.atUs) / 1000.0);
            late += shown && shown->endUs - step.atUs <= 10'000 ? 0 : 1;
        }
        row("set clock -> tick", stepToTick);
        row("set clock -> frame end on line", stepToEnd);
        std::printf("steps %zu, the new time on the line within 10 ms after %zu of them",
                    stepToTick.size(), stepToTick.size() - static_cast<size_t>(late));
    } else {
        row("second start -> tick", toTick);
        row("second start -> frame start on line", toStart);
        row("second start -> frame end on line", toEnd);
        row("|frame end - second start|", endOff);
        row("2nd-4th frames: |end - second start|", firstOff);
        row("tick holds the event loop", handler);
        std::printf("ticks %zu, frames on the line %zu, seconds on the line repeated %d, left out "
                    "%d, older than the one before %d, frames off their second %d, unreadable "
                    "frames %d",
                    ticks.size(), lines.frames.size(), repeated, skipped, backwards, offTheSecond,
                    unreadable);
        if (!old)
            std::printf(", alarm firings that only re-aimed %lld", reaims);
    }
    if (link) {
        const LineSender::Stats stats = link->lineSender()->stats();
        std::printf(", dropped %llu, cut %llu; line thread priority: %s; last edge held %.3f ms "
                    "a frame on average, %.3f ms at most",
                    static_cast<unsigned long long>(stats.dropped),
                    static_cast<unsigned long long>(stats.cutShort),
                    linePriorityName(link->lineSender()->priority()),
                    stats.completed ? double(stats.heldUs) / double(stats.completed) / 1000.0 : 0.0,
                    double(stats.mostHeldUs) / 1000.0);
    }
    std::printf("\n");
    return 0;
}
