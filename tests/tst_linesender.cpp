// Frames handed to the worker, read back from what a recording device saw: whole, in order,
// newest first, port changes only between frames, a clean end.

#include "port/linesender.h"

#include <QMutex>
#include <QSemaphore>
#include <QTest>
#include <QThread>

#include <atomic>

using namespace tikvor;

namespace {

constexpr int Patience = 20000; // ms; a hung worker fails the test rather than blocking the run

// Outlives the device, so a sender that owns and deletes it can still be checked.
struct Log {
    QMutex mutex;
    QStringList calls; // "D1", "T0", "D0", "OCOM2"
    bool deviceDeleted = false;
    QStringList snapshot()
    {
        QMutexLocker lock(&mutex);
        return calls;
    }
};

// Line operations (counted from 1) can be slowed, fail, or hold the worker at a gate. From
// operation failFrom on the device is unplugged: operations and opens fail until plugged.
class Device : public SerialLines {
public:
    explicit Device(Log& log) : m_log(log) {}
    ~Device() override { record({}, true); }
    int opDelayUs = 0, failAt = 0, enterAt = 0, blockAt = 0, openResult = 2, failFrom = 0;
    std::atomic<bool> plugged = true;
    QSemaphore entered, gate;

    int OpenPort(const QString& mode) override
    {
        record("O" + mode.left(4));
        return plugged ? openResult : 0;
    }
    bool DTR(int level) override { return op(QStringLiteral("D%1").arg(level)); }
    bool TXD(int level) override { return op(QStringLiteral("T%1").arg(level)); }

private:
    bool op(const QString& call)
    {
        const int n = ++m_ops;
        if (n == enterAt)
            entered.release();
        if (n == blockAt)
            gate.acquire();
        if (opDelayUs > 0)
            QThread::usleep(static_cast<unsigned long>(opDelayUs));
        record(call);
        if (failFrom > 0 && n == failFrom)
            plugged = false;
        return n != failAt && plugged;
    }
    void record(const QString& call, bool deleted = false)
    {
        QMutexLocker lock(&m_log.mutex);
        if (deleted)
            m_log.deviceDeleted = true;
        else
            m_log.calls << call;
    }
    Log& m_log;
    int m_ops = 0;
};

// Frame number i: every frame differs, so the line shows which ones went out.
QString frame(int i)
{
    return "1010" + QString::number(i, 2).rightJustified(44, u'0');
}

// The calls as whole frames (their text) and opens; anything else as a token no test expects.
QStringList decode(const QStringList& calls)
{
    QStringList out;
    QString bits;
    int phase = 0; // next call: 0 DTR up, 1 TXD, 2 DTR down
    for (const QString& call : calls) {
        if (call.startsWith(u'O')) {
            out << (phase == 0 && bits.isEmpty() ? call : "open inside a frame");
            continue;
        }
        if (phase == 1 ? !call.startsWith(u'T') : call != (phase == 0 ? "D1" : "D0"))
            return out << "broken frame at " + call;
        if (phase == 1)
            bits.prepend(call.mid(1)); // the last character goes first
        phase = (phase + 1) % 3;
        if (phase == 0 && bits.size() == 48)
            out << std::exchange(bits, {});
    }
    return bits.isEmpty() ? out : out << "unfinished frame";
}

// Opens a port as a port choice does: in a task.
int openPort(LineSender& sender, const QString& mode)
{
    std::atomic<int> result = -1;
    sender.post([&](SerialLines& lines) { result = lines.OpenPort(mode); });
    return sender.waitIdle(Patience) ? result.load() : -1;
}

// A sender whose port is open, and the log from then on.
void open(LineSender& sender, Log& log)
{
    QCOMPARE(openPort(sender, QStringLiteral("COM2,1200,N,8,1")), 2);
    QMutexLocker lock(&log.mutex);
    log.calls.clear();
}

} // namespace

class TestLineSender : public QObject {
    Q_OBJECT
private slots:
    void framesGoOutWholeInOrderNewestLast_data()
    {
        QTest::addColumn<int>("opDelayUs");
        QTest::addColumn<int>("count");
        QTest::newRow("fast line, long burst") << 0 << 300;
        QTest::newRow("slow line, frames overtaken") << 300 << 30;
    }
    void framesGoOutWholeInOrderNewestLast()
    {
        QFETCH(int, opDelayUs);
        QFETCH(int, count);
        Log log;
        Device device(log);
        device.opDelayUs = opDelayUs;
        LineSender sender(device);
        open(sender, log);
        for (int i = 0; i < count; ++i)
            sender.sendFrame(frame(i));
        QVERIFY(sender.waitIdle(Patience));
        const QStringList sent = decode(log.snapshot());
        int previous = -1;
        for (const QString& bits : sent) {
            const int i = bits.mid(4).toInt(nullptr, 2);
            QVERIFY2(bits == frame(i) && i > previous, qPrintable(bits));
            previous = i;
        }
        QCOMPARE(previous, count - 1);
        const LineSender::Stats stats = sender.stats();
        QCOMPARE(stats.completed, quint64(sent.size()));
        QCOMPARE(stats.completed + stats.dropped, quint64(count));
    }

    void newestWaitingFrameWins_data()
    {
        QTest::addColumn<int>("queued"); // handed over while frame 0 is half out
        QTest::newRow("one") << 1;
        QTest::newRow("three") << 3;
    }
    void newestWaitingFrameWins()
    {
        QFETCH(int, queued);
        Log log;
        Device device(log);
        device.enterAt = device.blockAt = 70;
        LineSender sender(device);
        open(sender, log);
        sender.sendFrame(frame(0));
        device.entered.acquire();
        for (int i = 1; i <= queued; ++i)
            sender.sendFrame(frame(i));
        device.gate.release();
        QVERIFY(sender.waitIdle(Patience));
        QCOMPARE(decode(log.snapshot()), QStringList({frame(0), frame(queued)}));
        QCOMPARE(sender.stats().dropped, quint64(queued - 1));
    }

    void portChangesOnlyBetweenFrames_data()
    {
        QTest::addColumn<int>("opDelayUs");
        QTest::addColumn<int>("rounds");
        QTest::addColumn<int>("openResult");
        QTest::newRow("open during a slow frame") << 2000 << 1 << 2;
        QTest::newRow("failed open during a slow frame") << 2000 << 1 << 0;
        QTest::newRow("opens mixed into a stream") << 0 << 200 << 2;
    }
    void portChangesOnlyBetweenFrames()
    {
        QFETCH(int, opDelayUs);
        QFETCH(int, rounds);
        QFETCH(int, openResult);
        Log log;
        Device device(log);
        device.opDelayUs = opDelayUs;
        device.enterAt = 1;
        LineSender sender(device);
        open(sender, log);
        device.openResult = openResult;
        for (int round = 0; round < rounds; ++round) {
            sender.sendFrame(frame(2 * round));
            if (round == 0)
                device.entered.acquire();
            sender.sendFrame(frame(2 * round + 1)); // waits behind the one on the line
            QCOMPARE(openPort(sender, QStringLiteral("COM3,1200,N,8,1")), openResult);
        }
        QVERIFY(sender.waitIdle(Patience));
        const QStringList sent = decode(log.snapshot());
        QCOMPARE(sent.count("OCOM3"), rounds);
        for (const QString& item : sent)
            QVERIFY2(item == "OCOM3" || item.size() == 48, qPrintable(item));
        if (rounds == 1) // the waiting frame is kept and goes out after the open
            QCOMPARE(sent, QStringList({frame(0), "OCOM3", frame(1)}));
    }

    // A frame every second on an injected clock: the line fails at operation 71 (midway through
    // the first frame) and the device comes back `plugAfter` ms later.
    void lostPortIsFoundAgain_data()
    {
        QTest::addColumn<int>("plugAfter");
        QTest::addColumn<QStringList>("expected"); // after the cut frame
        QTest::addColumn<int>("attempts");
        QTest::newRow("back before the first retry")
            << 500 << QStringList{"OCOM2", frame(2)} << 1;
        QTest::newRow("back after two retries")
            << 2500 << QStringList{"OCOM2", "OCOM2", "OCOM2", frame(4)} << 3;
    }
    void lostPortIsFoundAgain()
    {
        QFETCH(int, plugAfter);
        QFETCH(QStringList, expected);
        QFETCH(int, attempts);
        Log log;
        Device device(log);
        device.failFrom = 71;
        std::atomic<qint64> now = 0;
        QList<bool> heard;
        QMutex heardMutex;
        LineSender sender(
            device,
            [&](bool lost) {
                QMutexLocker lock(&heardMutex);
                heard << lost;
            },
            [&] { return now.load(); });
        open(sender, log);
        int second = 1;
        for (; second <= 6 && sender.stats().completed == 0; ++second) {
            now = 1000 * second;
            if (1000 + plugAfter <= now)
                device.plugged = true;
            sender.sendFrame(frame(second));
            QVERIFY(sender.waitIdle(Patience));
            if (second == 1) {
                QMutexLocker lock(&heardMutex);
                QCOMPARE(heard, QList<bool>{true});
            }
        }
        // Not resumed: the cut frame is dropped and the next one goes out whole, last character
        // first, on the port opened again; between the tries nothing touches the line.
        QCOMPARE(decode(log.snapshot().mid(71)), expected);
        QCOMPARE(sender.stats().cutShort, quint64(1));
        QCOMPARE(sender.stats().reopened, quint64(1));
        QCOMPARE(log.snapshot().count("OCOM2"), attempts);
        QMutexLocker lock(&heardMutex);
        QCOMPARE(heard, (QList<bool>{true, false}));
    }

    void aTaskNeverWaitsForTheLine()
    {
        Log log;
        Device device(log);
        device.enterAt = device.blockAt = 3;
        LineSender sender(device);
        open(sender, log);
        sender.sendFrame(frame(1));
        device.entered.acquire(); // the worker is held inside the frame
        std::atomic<bool> ran = false;
        sender.post([&](SerialLines& lines) { ran = lines.OpenPort("COM4,1200,N,8,1") != 0; });
        sender.sendFrame(frame(2)); // waits behind the task, then goes to the new port
        QVERIFY(!ran);
        device.gate.release();
        QVERIFY(sender.waitIdle(Patience));
        QVERIFY(ran);
        QCOMPARE(decode(log.snapshot()), QStringList({frame(1), "OCOM4", frame(2)}));
    }

    void withoutAPortFramesAreDropped()
    {
        Log log;
        Device device(log);
        LineSender sender(device);
        sender.sendFrame(frame(1));
        QVERIFY(sender.waitIdle(Patience));
        QVERIFY(log.snapshot().isEmpty());
        QCOMPARE(sender.stats().dropped, quint64(1));
    }

    // The way out: the frame on the line ends (or is cut a second after the request), the
    // waiting one is dropped, the lines go to rest, an owned device is released, then `done`.
    void finishEndsTheFrameAndRestsTheLines_data()
    {
        QTest::addColumn<bool>("owned");
        QTest::addColumn<bool>("slow"); // the line outlasts the time limit
        QTest::newRow("borrowed device") << false << false;
        QTest::newRow("owned device") << true << false;
        QTest::newRow("frame cut after the limit") << false << true;
    }
    void finishEndsTheFrameAndRestsTheLines()
    {
        QFETCH(bool, owned);
        QFETCH(bool, slow);
        Log log;
        auto device = std::make_unique<Device>(log);
        Device& d = *device;
        d.enterAt = d.blockAt = 5; // the worker is held inside the first frame
        std::atomic<qint64> now = 0;
        bool deletedBeforeDone = false;
        auto sender = owned ? std::make_unique<LineSender>(std::move(device), LineSender::LinkListener{},
                                                           [&] { return now.load(); })
                            : std::make_unique<LineSender>(d, LineSender::LinkListener{},
                                                           [&] { return now.load(); });
        open(*sender, log);
        sender->sendFrame(frame(1));
        d.entered.acquire();
        sender->sendFrame(frame(2));
        QSemaphore done;
        sender->finish([&] {
            deletedBeforeDone = log.deviceDeleted;
            done.release();
        });
        if (slow)
            now = LineSender::FinishLimitMs;
        d.gate.release();
        QVERIFY(done.tryAcquire(1, Patience));
        QVERIFY(sender->waitFinished(Patience));
        QStringList calls = log.snapshot();
        QCOMPARE(calls.mid(calls.size() - 2), QStringList({"D0", "T0"}));
        calls.resize(calls.size() - 2);
        QCOMPARE(decode(calls), slow ? QStringList{"unfinished frame"} : QStringList{frame(1)});
        QCOMPARE(deletedBeforeDone, owned);
    }
};

QTEST_GUILESS_MAIN(TestLineSender)
#include "tst_linesender.moc"
