// How late the clock is: for every second, from the start of that wall-clock second to the tick
// that shows it, and to the end of its frame on the line; plus how long the tick held the
// event loop (the window), and any second shown twice or left out.
//
// Usage: bench_ticklag [SECONDS] [--minutes N] [--slow-line] [--old]
//   SECONDS      length of the run (default 60); --minutes N is the same in minutes
//   --slow-line  every line operation takes 1 ms, as on a USB adapter
//   --old        the former design for comparison: a free-running 1000 ms QTimer and the
//                shift-out made right in the tick, on the event loop's thread
// Runs against the real wall clock and real timers; the line is a recording layer that decodes
// each frame from its TXD levels and notes when its last DTR fell. No device is opened.

#include "clock/frame.h"
#include "clock/secondtimer.h"
#include "clock/sendframe.h"
#include "port/linesender.h"
#include "startup/charactertable.h"
#include "wallclock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

using namespace tikvor;

namespace {

// Only DTR and TXD matter here; frames come whole, so every 48th falling DTR ends one.
class RecordingLines : public SerialLines {
public:
    explicit RecordingLines(bool slow) : m_slow(slow) {}
    int OpenPort(const QString&) override { return 1; }
    bool DTR(int level) override
    {
        device();
        if (level == 0 && m_bits.size() == FrameLength) {
            const std::lock_guard lock(mutex);
            frameEnds[m_bits] = wallMicros();
            m_bits.clear();
        }
        return true;
    }
    bool TXD(int level) override
    {
        device();
        m_bits.prepend(QChar(u'0' + level));
        return true;
    }

    std::mutex mutex;
    std::map<QString, qint64> frameEnds; // frame text -> wall-clock µs its last DTR fell

private:
    void device()
    {
        if (m_slow)
            QThread::usleep(1000);
    }
    bool m_slow;
    QString m_bits;
};

struct TickRecord {
    qint64 second;    // the wall-clock second shown
    qint64 startUs;   // when the tick handler began
    qint64 handlerUs; // how long it held the event loop
    QString frame;
};

void row(const char* name, std::vector<double> ms)
{
    if (ms.empty()) {
        std::printf("%-36s %9s\n", name, "-");
        return;
    }
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) {
        return ms[std::min(ms.size() - 1, static_cast<size_t>(q * static_cast<double>(ms.size())))];
    };
    std::printf("%-36s %9.2f %9.2f %9.2f %9.2f\n", name, ms.front(), at(0.5), at(0.99), ms.back());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int seconds = 60;
    bool slow = false;
    bool old = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--slow-line"))
            slow = true;
        else if (!std::strcmp(argv[i], "--old"))
            old = true;
        else if (!std::strcmp(argv[i], "--minutes") && i + 1 < argc)
            seconds = 60 * std::atoi(argv[++i]);
        else if (std::atoi(argv[i]) > 0)
            seconds = std::atoi(argv[i]);
        else {
            std::fprintf(stderr, "usage: bench_ticklag [SECONDS] [--minutes N] [--slow-line] "
                                 "[--old]\n");
            return 2;
        }
    }

    const CharacterTable table = LoadCharacterTable(QStringLiteral(TIKVOR_SAMPLE_DATA_INI));
    RecordingLines lines(slow);
    ClockState state;
    state.BlinkSign = 1.0f;
    std::vector<TickRecord> ticks;
    ticks.reserve(static_cast<size_t>(seconds) + 16);

    // One tick as the clock engine makes it: digits from one reading, the frame, the hand-over.
    const auto tick = [&](qint64 readingMs, const std::function<void(const QString&)>& send) {
        TickRecord record{wallSecond(readingMs), wallMicros(), 0, {}};
        state.BlinkSign *= -1.0f;
        setDigits(state, QDateTime::fromMSecsSinceEpoch(readingMs).time());
        record.frame = buildFrame(table, state);
        send(record.frame);
        record.handlerUs = wallMicros() - record.startUs;
        ticks.push_back(record);
    };

    long long clockReads = 0;
    std::unique_ptr<LineSender> sender;
    std::unique_ptr<SecondTimer> secondTimer;
    QTimer oldTimer;
    if (old) {
        oldTimer.setInterval(1000);
        QObject::connect(&oldTimer, &QTimer::timeout, [&] {
            tick(QDateTime::currentMSecsSinceEpoch(), [&](const QString& frame) {
                state.FrameBits = frame;
                SendFrame(state, lines);
            });
        });
        oldTimer.start();
    } else {
        sender = std::make_unique<LineSender>(lines);
        sender->OpenPort(QStringLiteral("COM1,1200,N,8,1"));
        secondTimer = std::make_unique<SecondTimer>([&] {
            ++clockReads;
            return QDateTime::currentMSecsSinceEpoch();
        });
        QObject::connect(secondTimer.get(), &SecondTimer::tick, [&] {
            tick(secondTimer->wallTime(), [&](const QString& frame) { sender->sendFrame(frame); });
        });
        secondTimer->start();
    }
    QTimer::singleShot(seconds * 1000 + 300, &app, &QCoreApplication::quit);
    app.exec();
    if (sender)
        sender->waitIdle(5000);

    std::vector<double> toTick, toLine, handler;
    int repeated = 0;
    int skipped = 0;
    int notOnLine = 0;
    {
        const std::lock_guard lock(lines.mutex);
        for (size_t i = 0; i < ticks.size(); ++i) {
            const TickRecord& t = ticks[i];
            const double start = static_cast<double>(t.second) * 1e6;
            toTick.push_back((static_cast<double>(t.startUs) - start) / 1000.0);
            handler.push_back(static_cast<double>(t.handlerUs) / 1000.0);
            const auto end = lines.frameEnds.find(t.frame);
            if (end == lines.frameEnds.end())
                ++notOnLine;
            else
                toLine.push_back((static_cast<double>(end->second) - start) / 1000.0);
            if (i > 0 && t.second == ticks[i - 1].second)
                ++repeated;
            if (i > 0 && t.second > ticks[i - 1].second + 1)
                skipped += static_cast<int>(t.second - ticks[i - 1].second - 1);
        }
    }

    std::printf("bench_ticklag: %d s, %s, line %s\n", seconds,
                old ? "old (1000 ms QTimer, shift-out in the tick)"
                    : "new (SecondTimer + LineSender)",
                slow ? "1 ms per operation" : "instant");
    std::printf("%-36s %9s %9s %9s %9s\n", "ms", "min", "median", "p99", "max");
    row("second start -> tick", toTick);
    row("second start -> frame end on line", toLine);
    row("tick holds the event loop", handler);
    std::printf("ticks %zu, seconds repeated %d, seconds left out %d, frames not on the line %d",
                ticks.size(), repeated, skipped, notOnLine);
    if (sender) {
        const LineSender::Stats stats = sender->stats();
        // start() reads the clock once; a firing that ticks reads it twice, a re-aim once.
        const long long reaims = clockReads - 1 - 2 * static_cast<long long>(ticks.size());
        std::printf(", dropped %llu, cut %llu, early firings re-aimed %lld",
                    static_cast<unsigned long long>(stats.dropped),
                    static_cast<unsigned long long>(stats.cutShort), reaims);
    }
    std::printf("\n");
    return 0;
}
