// Frames handed to the worker thread, read back from the line operations a recording double saw:
// whole, in order, newest first, port changes only between frames, a clean end.

#include "port/linesender.h"

#include <QMutex>
#include <QSemaphore>
#include <QTest>
#include <QThread>

using namespace tikvor;

namespace {

constexpr int Patience = 20000; // ms; a hung worker fails the test instead of blocking the run
const QString Com2 = QStringLiteral("COM2,1200,N,8,1");

// Outlives the double, so a sender that owns and deletes its lines can still be checked.
struct Log {
    QMutex mutex;
    QStringList calls; // "D1", "T0", "D0", "OCOM2"
    bool linesDeleted = false;
    QStringList snapshot()
    {
        QMutexLocker lock(&mutex);
        return calls;
    }
};

// The device: every line operation may be slowed, may fail, may hold the worker at a gate.
class TestLines : public SerialLines {
public:
    explicit TestLines(Log& log) : m_log(log) {}
    ~TestLines() override
    {
        QMutexLocker lock(&m_log.mutex);
        m_log.linesDeleted = true;
    }
    int opDelayUs = 0;
    int failAt = 0;  // 1-based line operation that fails
    int enterAt = 0; // line operation that signals `entered` as it starts
    int blockAt = 0; // line operation that waits for `gate` first
    int openResult = 2;
    QSemaphore entered;
    QSemaphore gate;

    int OpenPort(const QString& mode) override
    {
        record("O" + mode.left(4));
        return openResult;
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
        return n != failAt;
    }
    void record(const QString& call)
    {
        QMutexLocker lock(&m_log.mutex);
        m_log.calls << call;
    }
    Log& m_log;
    int m_ops = 0;
};

// Frame number i as 48 bits: every frame differs, so the line shows which ones went out.
QString frame(int i)
{
    return QString::number(i, 2).rightJustified(48, u'0').replace(0, 4, QStringLiteral("1010"));
}

// The calls as whole frames (their text) and opens ("OCOM2"); anything else shows as a token
// that no test expects.
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
        const bool fits = phase == 1 ? call.startsWith(u'T') : call == (phase == 0 ? "D1" : "D0");
        if (!fits)
            return out << "broken frame at " + call;
        if (phase == 1)
            bits.prepend(call.mid(1)); // last character goes first
        phase = (phase + 1) % 3;
        if (phase == 0 && bits.size() == 48) {
            out << bits;
            bits.clear();
        }
    }
    if (!bits.isEmpty())
        out << "unfinished frame";
    return out;
}

} // namespace

class TestLineSender : public QObject {
    Q_OBJECT
private slots:
    void framesGoOutWholeAndInOrder_data()
    {
        QTest::addColumn<int>("opDelayUs");
        QTest::addColumn<int>("count");
        QTest::newRow("fast line, long burst") << 0 << 300;
        QTest::newRow("slow line, every frame overtaken") << 300 << 30;
    }
    void framesGoOutWholeAndInOrder()
    {
        QFETCH(int, opDelayUs);
        QFETCH(int, count);
        Log log;
        TestLines lines(log);
        lines.opDelayUs = opDelayUs;
        LineSender sender(lines);
        for (int i = 0; i < count; ++i)
            sender.sendFrame(frame(i));
        QVERIFY(sender.waitIdle(Patience));

        const QStringList sent = decode(log.snapshot());
        QVERIFY(!sent.isEmpty());
        int previous = -1;
        for (const QString& bits : sent) {
            const int i = frame(0).size() == bits.size() ? bits.mid(4).toInt(nullptr, 2) : -1;
            QVERIFY2(i >= 0 && bits == frame(i), qPrintable(bits));
            QVERIFY2(i > previous, "an older frame after a newer one");
            previous = i;
        }
        QCOMPARE(previous, count - 1); // the newest always goes out
        const LineSender::Stats stats = sender.stats();
        QCOMPARE(stats.completed, quint64(sent.size()));
        QCOMPARE(stats.completed + stats.dropped, quint64(count));
        QCOMPARE(stats.cutShort, quint64(0));
    }

    void newestWaitingFrameWins_data()
    {
        QTest::addColumn<int>("queued"); // frames handed over while the first is on the line
        QTest::newRow("one") << 1;
        QTest::newRow("two") << 2;
        QTest::newRow("three") << 3;
    }
    void newestWaitingFrameWins()
    {
        QFETCH(int, queued);
        Log log;
        TestLines lines(log);
        lines.enterAt = 70;
        lines.blockAt = 70;
        LineSender sender(lines);
        sender.sendFrame(frame(0));
        lines.entered.acquire(); // frame 0 is half out
        for (int i = 1; i <= queued; ++i)
            sender.sendFrame(frame(i));
        lines.gate.release();
        QVERIFY(sender.waitIdle(Patience));
        QCOMPARE(decode(log.snapshot()), QStringList({frame(0), frame(queued)}));
        QCOMPARE(sender.stats().dropped, quint64(queued - 1));
    }

    void portChangesOnlyBetweenFrames_data()
    {
        QTest::addColumn<int>("opDelayUs");
        QTest::addColumn<int>("rounds");
        QTest::addColumn<int>("openResult");
        QTest::newRow("open during one slow frame") << 2000 << 1 << 2;
        QTest::newRow("open that fails") << 2000 << 1 << 0;
        QTest::newRow("opens mixed into a stream") << 0 << 200 << 2;
    }
    void portChangesOnlyBetweenFrames()
    {
        QFETCH(int, opDelayUs);
        QFETCH(int, rounds);
        QFETCH(int, openResult);
        Log log;
        TestLines lines(log);
        lines.opDelayUs = opDelayUs;
        lines.openResult = openResult;
        lines.enterAt = 1;
        LineSender sender(lines);
        QVERIFY(!sender.DTR(1)); // a lone line operation would land inside a frame
        QVERIFY(!sender.TXD(1));
        for (int round = 0; round < rounds; ++round) {
            sender.sendFrame(frame(2 * round));
            if (round == 0)
                lines.entered.acquire();
            sender.sendFrame(frame(2 * round + 1)); // waits behind the frame on the line
            QCOMPARE(sender.OpenPort(Com2), openResult);
        }
        QVERIFY(sender.waitIdle(Patience));
        const QStringList sent = decode(log.snapshot());
        QCOMPARE(sent.count("OCOM2"), rounds);
        for (const QString& item : sent)
            QVERIFY2(item == "OCOM2" || item.size() == 48, qPrintable(item));
        if (rounds == 1) // the waiting frame is kept and goes out on the port now in use
            QCOMPARE(sent, QStringList({frame(0), "OCOM2", frame(1)}));
    }

    void failingOperationCutsTheFrame_data()
    {
        QTest::addColumn<int>("failAt");
        QTest::newRow("first DTR up") << 1;
        QTest::newRow("a TXD midway") << 71;
        QTest::newRow("last DTR down") << 144;
    }
    void failingOperationCutsTheFrame()
    {
        QFETCH(int, failAt);
        Log log;
        TestLines lines(log);
        lines.failAt = failAt;
        LineSender sender(lines);
        sender.sendFrame(frame(5));
        QVERIFY(sender.waitIdle(Patience));
        QCOMPARE(log.snapshot().size(), failAt);
        sender.sendFrame(frame(6));
        QVERIFY(sender.waitIdle(Patience));
        // Not resumed: the next frame starts again from its own last character.
        QCOMPARE(decode(log.snapshot().mid(failAt)), QStringList{frame(6)});
        const LineSender::Stats stats = sender.stats();
        QCOMPARE(stats.cutShort, quint64(1));
        QCOMPARE(stats.completed, quint64(1));
    }

    void endsCleanlyWhileSending_data()
    {
        QTest::addColumn<bool>("owned");
        QTest::addColumn<bool>("waiting"); // a second frame waits behind the one on the line
        QTest::newRow("borrowed lines") << false << false;
        QTest::newRow("borrowed lines, frame waiting") << false << true;
        QTest::newRow("owned lines, frame waiting") << true << true;
    }
    void endsCleanlyWhileSending()
    {
        QFETCH(bool, owned);
        QFETCH(bool, waiting);
        Log log;
        auto lines = std::make_unique<TestLines>(log);
        lines->opDelayUs = 500;
        lines->enterAt = 2;
        TestLines& device = *lines;
        {
            auto sender = owned ? std::make_unique<LineSender>(std::move(lines))
                                : std::make_unique<LineSender>(*lines);
            sender->sendFrame(frame(1));
            device.entered.acquire();
            if (waiting)
                sender->sendFrame(frame(2));
        } // joins the worker: the frame on the line ends, the waiting one is dropped
        QCOMPARE(decode(log.snapshot()), QStringList{frame(1)});
        QCOMPARE(log.linesDeleted, owned);
    }
};

QTEST_GUILESS_MAIN(TestLineSender)
#include "tst_linesender.moc"
