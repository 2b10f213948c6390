// Frames handed to the worker, read back from what a recording device saw: whole, in order,
// newest first, port changes only between frames, a clean end.

#include "clock/sendframe.h"
#include "line/linesender.h"
#include "support/recordinglines.h"

#include <QMutex>
#include <QSemaphore>
#include <QTest>
#include <QThread>

#include <atomic>
#include <thread>

using namespace tikvor;
using namespace tikvor::test;

namespace {

constexpr int Patience = 20000; // ms; a hung worker fails the test rather than blocking the run

// Frame number i: every frame differs, so the line shows which ones went out.
QString frame(int i)
{
    return "1010" + QString::number(i, 2).rightJustified(44, u'0');
}

// Opens a port as a port choice does: in a task.
int openPort(LineSender& sender, const QString& mode)
{
    std::atomic<int> result = -1;
    sender.post([&](SerialLines& lines) { result = lines.OpenPort(mode); });
    return sender.waitIdle(Patience) ? result.load() : -1;
}

// A sender whose port is open, and the calls from then on.
void open(LineSender& sender, RecordingLines& lines)
{
    QCOMPARE(openPort(sender, QStringLiteral("COM2,1200,N,8,1")), 2);
    lines.clear();
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
        RecordingLines device;
        device.working = 0b11111;
        device.opDelayUs = opDelayUs;
        LineSender sender(device);
        open(sender, device);
        for (int i = 0; i < count; ++i)
            sender.sendFrame(frame(i));
        QVERIFY(sender.waitIdle(Patience));
        const QStringList sent = decodeFrames(device.calls());
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

    void portChangesOnlyBetweenFrames_data()
    {
        QTest::addColumn<int>("opDelayUs");
        QTest::addColumn<int>("rounds");
        QTest::addColumn<int>("openResult"); // of COM3: 0 when it fails
        QTest::newRow("open during a slow frame") << 2000 << 1 << 3;
        QTest::newRow("failed open during a slow frame") << 2000 << 1 << 0;
        QTest::newRow("opens mixed into a stream") << 0 << 200 << 3;
    }
    void portChangesOnlyBetweenFrames()
    {
        QFETCH(int, opDelayUs);
        QFETCH(int, rounds);
        QFETCH(int, openResult);
        RecordingLines device;
        device.working = 0b11111;
        device.opDelayUs = opDelayUs;
        device.enterAt = 1;
        LineSender sender(device);
        open(sender, device);
        if (openResult == 0)
            device.working = 0b00010;
        for (int round = 0; round < rounds; ++round) {
            sender.sendFrame(frame(2 * round));
            if (round == 0)
                device.entered.acquire();
            sender.sendFrame(frame(2 * round + 1)); // waits behind the one on the line
            QCOMPARE(openPort(sender, QStringLiteral("COM3,1200,N,8,1")), openResult);
        }
        QVERIFY(sender.waitIdle(Patience));
        const QStringList sent = decodeFrames(device.calls());
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
        QTest::newRow("back before the first retry") << 500 << QStringList{"OCOM2", frame(2)} << 1;
        QTest::newRow("back after two retries")
            << 2500 << QStringList{"OCOM2", "OCOM2", "OCOM2", frame(4)} << 3;
    }
    void lostPortIsFoundAgain()
    {
        QFETCH(int, plugAfter);
        QFETCH(QStringList, expected);
        QFETCH(int, attempts);
        RecordingLines device;
        device.working = 0b11111;
        device.unplugFrom = 71;
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
        open(sender, device);
        int second = 1;
        for (; second <= 6 && sender.stats().completed == 0; ++second) {
            now = 1'000'000 * second;
            if (1000 * (1000 + plugAfter) <= now)
                device.unplugged = false;
            sender.sendFrame(frame(second));
            QVERIFY(sender.waitIdle(Patience));
            if (second == 1) {
                QMutexLocker lock(&heardMutex);
                QCOMPARE(heard, QList<bool>{true});
            }
        }
        // Not resumed: the cut frame is dropped and the next one goes out whole, last character
        // first, on the port opened again; between the tries nothing touches the line.
        QCOMPARE(decodeFrames(device.calls().mid(71)), expected);
        QCOMPARE(sender.stats().cutShort, quint64(1));
        QCOMPARE(sender.stats().reopened, quint64(1));
        QCOMPARE(device.calls().count("OCOM2"), attempts);
        QMutexLocker lock(&heardMutex);
        QCOMPARE(heard, (QList<bool>{true, false}));
    }

    // A timed frame, on a clock that moves only with the line: every line operation takes 1 ms,
    // so a frame takes 144 ms (the log is never cleared: it is the clock). It starts on its
    // second before any frame went out; after one, early by what that took and a small margin
    // (this clock cannot be waited on, so the end is not held: it comes early by the margin).
    // After a port switch the old port's timing stands in until the new port has sent a frame.
    void timedFrameEndsOnTime_data()
    {
        QTest::addColumn<int>("before");      // frames sent whole first
        QTest::addColumn<bool>("portSwitch"); // then a port switch
        QTest::newRow("no frame yet: on the second") << 0 << false;
        QTest::newRow("one frame: early by it") << 1 << false;
        QTest::newRow("a port switch: the old port's timing") << 3 << true;
    }
    void timedFrameEndsOnTime()
    {
        QFETCH(int, before);
        QFETCH(bool, portSwitch);
        RecordingLines device;
        device.working = 0b11111;
        std::atomic<qint64> base = 0;
        LineSender sender(device, {}, [&] { return base + 1000 * qint64(device.calls().size()); });
        const auto setNow = [&](qint64 us) { base = us - 1000 * qint64(device.calls().size()); };
        QCOMPARE(openPort(sender, QStringLiteral("COM2,1200,N,8,1")), 2);
        for (int i = 0; i < before; ++i) {
            sender.sendFrame(frame(99));
            QVERIFY(sender.waitIdle(Patience));
        }
        if (portSwitch)
            QCOMPARE(openPort(sender, QStringLiteral("COM3,1200,N,8,1")), 3);
        QVERIFY(sender.waitIdle(Patience));
        const qint64 end = sender.nowUs() + 10'000'000;
        sender.sendTimed(frame(99), {10, end, 1});
        qint64 startedAt = -1;
        for (qint64 t = end - 300'000; t <= end && startedAt < 0; t += 1000) {
            setNow(t);
            QVERIFY(sender.waitIdle(Patience));
            if (sender.stats().completed > quint64(before))
                startedAt = t;
        }
        if (before == 0) {
            QCOMPARE(startedAt, end);
        } else {
            QVERIFY2(startedAt <= end - 144'000 - 5000 && startedAt >= end - 144'000 - 10'000,
                     qPrintable(QString::number(end - startedAt)));
        }
    }

    // The clock is set while the frame sent ahead for the next second is on the line: it ends
    // whole, the frame aimed after it by the old time never goes out, the right one goes at once.
    void clockSetDuringAnEarlyFrame()
    {
        RecordingLines device;
        device.working = 0b11111;
        std::atomic<qint64> base = 0;
        LineSender sender(device, {}, [&] { return base + 1000 * qint64(device.calls().size()); });
        QCOMPARE(openPort(sender, QStringLiteral("COM2,1200,N,8,1")), 2);
        sender.sendFrame(frame(0));
        QVERIFY(sender.waitIdle(Patience));
        const int ops = 144;
        device.enterAt = device.blockAt = ops + 50; // inside the early frame
        const qint64 now = sender.nowUs();
        sender.sendTimed(frame(10), {10, now, 1}); // due at once
        device.entered.acquire();
        sender.sendTimed(frame(11), {11, now + 1'000'000, -1}); // waiting for its time
        sender.dropScheduled();                                 // the clock was set
        sender.sendFrame(frame(20));                            // the right time, at once
        device.gate.release();
        QVERIFY(sender.waitIdle(Patience));
        QCOMPARE(decodeFrames(device.calls().mid(1 + ops)), QStringList({frame(10), frame(20)}));
        QCOMPARE(sender.stats().dropped, quint64(1));
    }

    // The second a frame shows is remembered per port: a task's open forgets it.
    void aSecondShowsOnceAPort()
    {
        RecordingLines device;
        device.working = 0b11111;
        LineSender sender(device);
        open(sender, device);
        const auto send = [&](int i) {
            sender.sendFrame(frame(i), 42);
            QVERIFY(sender.waitIdle(Patience));
        };
        send(1);
        send(2);
        QCOMPARE(openPort(sender, QStringLiteral("COM3,1200,N,8,1")), 3);
        send(3);
        QCOMPARE(decodeFrames(device.calls()), QStringList({frame(1), "OCOM3", frame(3)}));
        QCOMPARE(sender.stats().dropped, quint64(1));
    }

    void aTaskNeverWaitsForTheLine()
    {
        RecordingLines device;
        device.working = 0b11111;
        device.enterAt = device.blockAt = 3;
        LineSender sender(device);
        open(sender, device);
        sender.sendFrame(frame(1));
        device.entered.acquire(); // the worker is held inside the frame
        std::atomic<bool> ran = false;
        sender.post([&](SerialLines& lines) { ran = lines.OpenPort("COM4,1200,N,8,1") != 0; });
        sender.sendFrame(frame(2)); // waits behind the task, then goes to the new port
        QVERIFY(!ran);
        device.gate.release();
        QVERIFY(sender.waitIdle(Patience));
        QVERIFY(ran);
        QCOMPARE(decodeFrames(device.calls()), QStringList({frame(1), "OCOM4", frame(2)}));
    }

    void withoutAPortFramesAreDropped()
    {
        RecordingLines device;
        device.working = 0b11111;
        LineSender sender(device);
        sender.sendFrame(frame(1));
        QVERIFY(sender.waitIdle(Patience));
        QVERIFY(device.calls().isEmpty());
        QCOMPARE(sender.stats().dropped, quint64(1));
    }

    // The way out: the frame on the line ends (or is cut a second after the request), the
    // waiting one is dropped, the lines go to rest, an owned device is released, then `done`.
    void finishEndsTheFrameAndRestsTheLines_data()
    {
        QTest::addColumn<bool>("owned");
        QTest::addColumn<bool>("slow"); // the line outlasts the time limit
        QTest::addColumn<bool>("task"); // the frame is sent by a task
        QTest::newRow("borrowed device") << false << false << false;
        QTest::newRow("owned device") << true << false << false;
        QTest::newRow("frame cut after the limit") << false << true << false;
        QTest::newRow("a task's frame cut after the limit") << false << true << true;
    }
    void finishEndsTheFrameAndRestsTheLines()
    {
        QFETCH(bool, owned);
        QFETCH(bool, slow);
        QFETCH(bool, task);
        std::atomic<bool> deleted = false;
        auto device = std::make_unique<RecordingLines>();
        RecordingLines& d = *device;
        d.working = 0b00010;
        d.deleted = &deleted;
        const std::shared_ptr<CallLog> log = d.log; // outlives an owned device
        d.enterAt = d.blockAt = 5;                  // the worker is held inside the first frame
        std::atomic<qint64> now = 0;
        bool deletedBeforeDone = false;
        auto sender =
            owned ? std::make_unique<LineSender>(std::move(device), LineSender::LinkListener{},
                                                 [&] { return now.load(); })
                  : std::make_unique<LineSender>(d, LineSender::LinkListener{},
                                                 [&] { return now.load(); });
        open(*sender, d);
        if (task)
            sender->post([](SerialLines& lines) { SendFrame(frame(1), lines); });
        else
            sender->sendFrame(frame(1));
        d.entered.acquire();
        sender->sendFrame(frame(2));
        QSemaphore done;
        sender->finish([&] {
            deletedBeforeDone = deleted;
            done.release();
        });
        if (slow)
            now = LineSender::FinishLimitMs * 1000;
        d.gate.release();
        QVERIFY(done.tryAcquire(1, Patience));
        QVERIFY(sender->waitFinished(Patience));
        QStringList calls = log->snapshot();
        QCOMPARE(calls.mid(calls.size() - 2), QStringList({"D0", "T0"}));
        calls.resize(calls.size() - 2);
        QCOMPARE(decodeFrames(calls),
                 slow ? QStringList{"unfinished frame"} : QStringList{frame(1)});
        QCOMPARE(deletedBeforeDone, owned);
    }

    // A driver that hangs in an open: destruction returns once the end's time is up, and the
    // worker, left alone, keeps its lines until the open returns.
    void destructionLeavesAWorkerHeldInADeviceCall()
    {
        std::atomic<bool> deleted = false;
        QSemaphore inOpen;
        QSemaphore hang;
        auto device = std::make_unique<RecordingLines>();
        device->afterOpen = [&](RecordingLines&) {
            inOpen.release();
            hang.acquire();
        };
        device->deleted = &deleted;
        std::atomic<qint64> now = 0;
        auto sender = std::make_unique<LineSender>(std::move(device), LineSender::LinkListener{},
                                                   [&] { return now.load(); });
        sender->post([](SerialLines& lines) { lines.OpenPort(QStringLiteral("COM1,1200,N,8,1")); });
        QVERIFY(inOpen.tryAcquire(1, Patience));
        sender->finish();
        now = (LineSender::FinishLimitMs + LineSender::EndGraceMs) * 1000;
        QSemaphore returned;
        std::thread guard([&] { // should the wait have no bound, the open comes back after all
            if (!returned.tryAcquire(1, Patience))
                hang.release();
        });
        sender.reset();
        returned.release();
        guard.join();
        QVERIFY(!deleted);
        hang.release();
        QTRY_VERIFY_WITH_TIMEOUT(deleted, Patience);
    }
};

QTEST_GUILESS_MAIN(TestLineSender)
#include "tst_linesender.moc"
