// Ticks on the wall-clock second: the arithmetic of one firing, and SecondTimer run over an
// injected clock that drifts, jitters, stalls and is stepped, fired by hand instead of waiting.

#include "clock/secondtimer.h"

#include <QDateTime>
#include <QTest>

#include <limits>

using namespace tikvor;

namespace {

constexpr qint64 Second = 1'700'000'000; // the second last shown in the arithmetic cases
constexpr qint64 ms(qint64 second, qint64 millis = 0)
{
    return second * 1000 + millis;
}

struct Tick {
    qint64 second;
    qint64 lag;    // ms from the start of the second to the reading that made the tick
    qint64 monoMs; // when it ran, on the timer's own clock
};

// A SecondTimer whose clock is `mono + offset`; each firing waits what the timer asked for
// plus some error, as a real timer on a monotonic clock under a wall clock would.
struct Rig {
    qint64 mono = 0;
    qint64 offset = 0;
    int handlerMs = 0;
    QList<Tick> ticks;
    SecondTimer timer{[this] { return mono + offset; }};

    explicit Rig(qint64 startWall)
    {
        offset = startWall;
        QObject::connect(&timer, &SecondTimer::tick, [this] {
            const qint64 reading = timer.wallTime();
            ticks.append({wallSecond(reading), reading - wallSecond(reading) * 1000, mono});
            mono += handlerMs;
        });
    }
    void fireAfter(qint64 waitMs)
    {
        mono += waitMs;
        timer.fire();
    }
};

} // namespace

class TestTickSchedule : public QObject {
    Q_OBJECT
private slots:
    void oneFiring_data()
    {
        QTest::addColumn<bool>("shown"); // whether Second has been shown
        QTest::addColumn<qint64>("now");
        QTest::addColumn<bool>("due");
        QTest::addColumn<int>("delay"); // after the tick when due, else as re-aimed

        QTest::newRow("just before the boundary") << true << ms(Second, 999) << false << 6;
        QTest::newRow("on the boundary") << true << ms(Second + 1) << true << 1005;
        QTest::newRow("just after the boundary") << true << ms(Second + 1, 1) << true << 1004;
        QTest::newRow("early, right after the tick") << true << ms(Second, 3) << false << 1002;
        QTest::newRow("late by most of a second") << true << ms(Second + 1, 990) << true << 15;
        QTest::newRow("late past a whole second") << true << ms(Second + 2, 10) << true << 995;
        QTest::newRow("stepped forward an hour") << true << ms(Second + 3601, 5) << true << 1000;
        QTest::newRow("stepped back a minute") << true << ms(Second - 59, 5) << true << 1000;
        QTest::newRow("stepped back into the shown second")
            << true << ms(Second, 500) << false << 505;
        QTest::newRow("resumed after a long pause") << true << ms(Second + 86400, 731) << true
                                                    << 274;
        QTest::newRow("nothing shown yet") << false << ms(Second, 700) << true << 305;
    }
    void oneFiring()
    {
        QFETCH(bool, shown);
        QFETCH(qint64, now);
        QFETCH(bool, due);
        QFETCH(int, delay);
        TickSchedule s;
        if (shown)
            s.markShown(ms(Second, 5));
        QCOMPARE(s.isDue(now), due);
        // A second not yet shown is overdue: it must not wait for the next boundary.
        QCOMPARE(s.delayToNextTick(now) == 0, due);
        if (due)
            s.markShown(now);
        QCOMPARE(s.delayToNextTick(now), delay);
        QVERIFY(!s.isDue(now));
    }

    void secondsBeforeTheEpochRoundDown_data()
    {
        QTest::addColumn<qint64>("now");
        QTest::addColumn<qint64>("second");
        QTest::addColumn<int>("delay");
        QTest::newRow("last ms before the epoch") << qint64(-1) << qint64(-1) << 6;
        QTest::newRow("first ms of second -1") << qint64(-1000) << qint64(-1) << 1005;
        QTest::newRow("last ms of second -2") << qint64(-1001) << qint64(-2) << 6;
    }
    void secondsBeforeTheEpochRoundDown()
    {
        QFETCH(qint64, now);
        QFETCH(qint64, second);
        QFETCH(int, delay);
        QCOMPARE(wallSecond(now), second);
        TickSchedule s;
        s.markShown(now);
        QCOMPARE(s.delayToNextTick(now), delay);
    }

    void everySecondOnceInOrder_data()
    {
        QTest::addColumn<QList<int>>("jitter"); // ms each firing is late (<0: early), cycled
        QTest::addColumn<int>("handlerMs");
        QTest::addColumn<int>("eventAt");       // firing before which the clocks jump, -1: none
        QTest::addColumn<qint64>("wallJump");
        QTest::addColumn<qint64>("monoJump");
        QTest::addColumn<int>("maxLag");

        const QList<int> none{0};
        QTest::newRow("on time") << none << 0 << -1 << qint64(0) << qint64(0) << 5;
        QTest::newRow("early within the margin") << QList<int>{-3} << 0 << -1 << qint64(0)
                                                 << qint64(0) << 5;
        QTest::newRow("jitter across the boundary")
            << QList<int>{-40, 40, -8, 8, -6, 2} << 0 << -1 << qint64(0) << qint64(0) << 45;
        QTest::newRow("late by most of a second") << QList<int>{990} << 0 << -1 << qint64(0)
                                                  << qint64(0) << 995;
        QTest::newRow("slow tick handler") << none << 300 << -1 << qint64(0) << qint64(0) << 5;
        QTest::newRow("stepped forward an hour")
            << none << 0 << 7 << qint64(3'600'000) << qint64(0) << 5;
        QTest::newRow("stepped forward off the second")
            << none << 0 << 7 << qint64(3'600'437) << qint64(0) << 442;
        QTest::newRow("stepped back a minute")
            << none << 0 << 7 << qint64(-60'000) << qint64(0) << 5;
        QTest::newRow("stepped back half a second")
            << none << 0 << 7 << qint64(-500) << qint64(0) << 5;
        QTest::newRow("resumed after a suspend") << none << 0 << 7 << qint64(10'800'317)
                                                 << qint64(0) << 322;
        QTest::newRow("machine stalled 2.5 s") << none << 0 << 7 << qint64(2'500)
                                               << qint64(2'500) << 505;
    }
    void everySecondOnceInOrder()
    {
        QFETCH(QList<int>, jitter);
        QFETCH(int, handlerMs);
        QFETCH(int, eventAt);
        QFETCH(qint64, wallJump);
        QFETCH(qint64, monoJump);
        QFETCH(int, maxLag);

        Rig rig(ms(Second, 417));
        rig.handlerMs = handlerMs;
        rig.timer.start();
        qint64 eventMono = -1;
        qsizetype eventTick = -1; // the first tick after the jump
        for (int firing = 0; firing < 120 && rig.ticks.size() < 30; ++firing) {
            if (firing == eventAt) {
                rig.offset += wallJump - monoJump;
                rig.mono += monoJump;
                eventMono = rig.mono;
                eventTick = rig.ticks.size();
            }
            const int asked = rig.timer.timer().interval();
            const int error = jitter[firing % jitter.size()];
            // Only a long wait drifts early by the wall clock; a short re-aim cannot.
            rig.fireAfter(error < 0 && asked < 500 ? asked : asked + error);
        }
        QCOMPARE(rig.ticks.size(), 30);
        const QList<int> none{0};
        QCOMPARE(rig.ticks.first().second, Second + 1); // start() counts its own second shown

        // Across the jump: never the same second, forward no further than the jump, and a
        // step back that stays inside the shown second leaves nothing out.
        const qint64 most = wallJump >= 0 ? wallSecond(wallJump + 999) + 1 : 1;
        const qint64 least = wallJump > -1000 ? 1 : std::numeric_limits<qint64>::min();
        for (int i = 1; i < rig.ticks.size(); ++i) {
            const Tick& prev = rig.ticks[i - 1];
            const Tick& tick = rig.ticks[i];
            const qint64 step = tick.second - prev.second;
            const QByteArray where = QString("tick %1: %2").arg(i).arg(step).toUtf8();
            QVERIFY2(step != 0, where);
            if (i == eventTick) {
                QVERIFY2(step >= least && step <= most, where);
                continue;
            }
            QVERIFY2(step == 1, where);
        }
        if (eventTick >= 0) {
            // Within a second of the jump the clock shows the wall-clock second again.
            const qint64 then = eventMono + 1000 + TickMarginMs;
            qint64 shownThen = 0;
            for (const Tick& tick : rig.ticks)
                if (tick.monoMs <= then)
                    shownThen = tick.second;
            QCOMPARE(shownThen, wallSecond(then + rig.offset));
        }
        for (const Tick& tick : rig.ticks)
            QVERIFY2(tick.lag <= maxLag, qPrintable(QString::number(tick.lag)));
        if (jitter == none)
            QCOMPARE(rig.ticks.last().lag, qint64(TickMarginMs)); // settled at the margin
    }

    void startStopAndTheHandler()
    {
        Rig rig(ms(Second, 400));
        QCOMPARE(rig.timer.interval(), 1000);
        QVERIFY(!rig.timer.isActive());
        rig.timer.fire(); // a stray expiry before start runs nothing
        QVERIFY(rig.ticks.isEmpty());

        rig.timer.start();
        QVERIFY(rig.timer.isActive());
        QCOMPARE(rig.timer.timer().interval(), 605);
        QVERIFY(rig.timer.timer().isActive());
        rig.fireAfter(100); // fired early: re-aimed, no tick
        QVERIFY(rig.ticks.isEmpty());
        QCOMPARE(rig.timer.timer().interval(), 505);

        // A handler that stops the timer leaves it stopped.
        const auto stopper = QObject::connect(&rig.timer, &SecondTimer::tick, &rig.timer,
                                              &SecondTimer::stop);
        rig.fireAfter(505);
        QCOMPARE(rig.ticks.size(), 1);
        QVERIFY(!rig.timer.isActive());
        QVERIFY(!rig.timer.timer().isActive());
        rig.fireAfter(1000);
        QCOMPARE(rig.ticks.size(), 1);
        QObject::disconnect(stopper);

        rig.timer.start();
        rig.fireAfter(rig.timer.timer().interval());
        QCOMPARE(rig.ticks.size(), 2);
        QVERIFY(rig.timer.timer().isActive());
    }

    void handlerReadsTheTimeOfItsTick()
    {
        // The handler starts after the next boundary: it must still show the second that the
        // schedule recorded, or that second would show twice and the next one not at all.
        Rig rig(ms(Second, 998));
        rig.timer.start();
        TickTimeSource source(rig.timer);
        QTime shown;
        QObject::connect(&rig.timer, &SecondTimer::tick, [&] {
            rig.mono += 5;
            shown = source.currentTime();
        });
        rig.fireAfter(rig.timer.timer().interval() + 992); // reads Second + 1 at .997
        QCOMPARE(shown, QDateTime::fromMSecsSinceEpoch(ms(Second + 1, 997)).time());
        // Outside a tick the source reads the clock itself.
        QCOMPARE(source.currentTime(), QDateTime::fromMSecsSinceEpoch(ms(Second + 2, 2)).time());
    }
};

QTEST_MAIN(TestTickSchedule)
#include "tst_tickschedule.moc"
