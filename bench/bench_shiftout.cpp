// What one frame costs on the line: the line operations the shift-out asks for, the OS calls
// ComLines turns them into, and the CPU time of the shift-out itself.
//
// Usage: bench_shiftout [DATA_INI]
//   DATA_INI  the segment patterns (default: the sample data/Data.ini of the source tree)
// Frames: the 86400 seconds of one day, in order, with the colon blinking as on the clock, so
// the TXD level left by one frame carries into the next one as it does on the device.
// ComLines makes one OS call per DTR and one per TXD that changes the physical break state;
// the model below follows that rule for both settings of InvertTXD (after OpenPort the break
// is off). At the ~1 ms a USB adapter takes per call, the calls are the frame's time on the line.

#include "clock/frame.h"
#include "clock/sendframe.h"
#include "startup/charactertable.h"

#include <QTime>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace tikvor;

namespace {

class CountingLines : public LineDriver {
public:
    long long calls = 0;
    bool DTR(int) override { return ++calls, true; }
    bool TXD(int) override { return ++calls, true; }
};

class ComLinesModel : public LineDriver {
public:
    explicit ComLinesModel(bool invertTxd) : m_invert(invertTxd) {}
    long long osCalls = 0;
    bool DTR(int) override { return ++osCalls, true; }
    bool TXD(int level) override
    {
        const bool breakOn = (level != 0) != m_invert;
        if (breakOn != m_breakOn)
            ++osCalls;
        m_breakOn = breakOn;
        return true;
    }

private:
    bool m_invert;
    bool m_breakOn = false;
};

struct Summary {
    double min, median, p99, max, mean;
};

Summary summarize(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    double sum = 0;
    for (double x : v)
        sum += x;
    const auto at = [&](double q) {
        return v[std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())))];
    };
    return {v.front(), at(0.5), at(0.99), v.back(), sum / static_cast<double>(v.size())};
}

} // namespace

int main(int argc, char** argv)
{
    const QString ini =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(TIKVOR_SAMPLE_DATA_INI);
    const CharacterTable table = LoadCharacterTable(ini);

    std::vector<QString> frames;
    frames.reserve(86400);
    ClockState state;
    state.BlinkSign = 1.0f;
    for (int t = 0; t < 86400; ++t) {
        state.BlinkSign *= -1.0f;
        setDigits(state, QTime(0, 0).addSecs(t));
        frames.push_back(buildFrame(table, state));
    }

    std::printf("bench_shiftout: %zu frames (one day), patterns from %s\n\n", frames.size(),
                qPrintable(ini));
    std::printf("%-40s %8s %8s %8s %8s %12s\n", "calls per frame", "min", "median", "max", "mean",
                "per day");

    const auto countRow = [&](const char* name, LineDriver& lines, const long long& counter) {
        std::vector<double> perFrame;
        perFrame.reserve(frames.size());
        ClockState s;
        for (const QString& frame : frames) {
            const long long before = counter;
            s.FrameBits = frame;
            SendFrame(s.FrameBits, lines);
            perFrame.push_back(static_cast<double>(counter - before));
        }
        const Summary sum = summarize(perFrame);
        std::printf("%-40s %8.0f %8.0f %8.0f %8.1f %12lld\n", name, sum.min, sum.median, sum.max,
                    sum.mean, counter);
        return sum;
    };
    CountingLines counting;
    countRow("line operations (DTR + TXD)", counting, counting.calls);
    ComLinesModel plain(false);
    const Summary os = countRow("ComLines OS calls, InvertTXD=0", plain, plain.osCalls);
    ComLinesModel inverted(true);
    countRow("ComLines OS calls, InvertTXD=1", inverted, inverted.osCalls);

    std::printf("\n%-40s %8s %8s %8s %8s %8s\n", "ns per frame (SendFrame, counting layer)", "min",
                "median", "p99", "max", "mean");
    using Clock = std::chrono::steady_clock;
    for (int round = 1; round <= 3; ++round) {
        std::vector<double> ns;
        ns.reserve(frames.size());
        ClockState s;
        CountingLines lines;
        for (const QString& frame : frames) {
            s.FrameBits = frame;
            const auto start = Clock::now();
            SendFrame(s.FrameBits, lines);
            ns.push_back(std::chrono::duration<double, std::nano>(Clock::now() - start).count());
        }
        const Summary sum = summarize(ns);
        std::printf("%-40s %8.0f %8.0f %8.0f %8.0f %8.0f\n",
                    qPrintable(QStringLiteral("round %1").arg(round)), sum.min, sum.median, sum.p99,
                    sum.max, sum.mean);
    }

    std::printf("\nAt 1 ms per OS call (USB adapter) a frame holds the line for %.0f..%.0f ms "
                "(median %.0f ms).\n",
                os.min, os.max, os.median);
    return 0;
}
