// Ticks on the wall-clock second: the arithmetic of one firing, and SecondTimer over an injected
// clock that jitters, stalls and is stepped, fired (or told of a step) by hand instead of
// waiting; and the alarms underneath, on deadlines already passed.

#include "clock/secondtimer.h"

#include <QDateTime>
#include <QSignalSpy>
#include <QTest>

#include <limits>

using namespace tikvor;

namespace {

constexpr qint64 S = 1'700'000'000; // a wall-clock second
constexpr qint64 at(qint64 second, qint64 ms = 0)
{
    return second * 1000 + ms;
}

struct Tick {
    qint64 second, lag, mono; // second shown, ms into it, when on the timer's own clock
};

// Fires and reports steps only when told, as a system alarm would. The wait is taken at arming,
// as by a relative timer: the worst case for a step that nobody reports.
class ManualAlarm final : public WallAlarm {
public:
    explicit ManualAlarm(std::function<qint64()> clock) : m_clock(std::move(clock)) {}
    void step() { reportStep(); }
    int wait = -1;

private:
    void armSystem(qint64 deadlineMs) override { wait = int(deadlineMs - m_clock()); }
    void disarmSystem() override {}
    std::function<qint64()> m_clock;
};

// The wall clock is mono + offset; a firing waits what the timer asked for, plus an error.
struct Rig {
    qint64 mono = 0;
    qint64 offset;
    int handlerMs = 0;
    QList<Tick> ticks;
    ManualAlarm* alarm = new ManualAlarm([this] { return mono + offset; }); // the timer's
    SecondTimer timer{[this] { return mono + offset; }, std::unique_ptr<WallAlarm>(alarm)};

    explicit Rig(qint64 wall) : offset(wall)
    {
        QObject::connect(&timer, &SecondTimer::tick, [this] {
            const qint64 t = timer.wallTime();
            ticks.append({wallSecond(t), t - at(wallSecond(t)), mono});
            mono += handlerMs;
        });
    }
    void fireAfter(qint64 ms)
    {
        mono += ms;
        timer.fire();
    }
    // The wait the alarm was aimed with; -1 when it is not armed.
    int asked() const { return alarm->isArmed() ? alarm->wait : -1; }
};

} // namespace

class TestTickSchedule : public QObject {
    Q_OBJECT
private slots:
    void oneFiring_data()
    {
        QTest::addColumn<qint64>("now"); // S was shown at S.005
        QTest::addColumn<bool>("due");
        QTest::addColumn<int>("delay"); // after the tick when due, else as re-aimed
        QTest::newRow("just before the boundary") << at(S, 999) << false << 1 + TickMarginMs;
        QTest::newRow("just after the boundary") << at(S + 1, 1) << true << 999 + TickMarginMs;
        QTest::newRow("early, right after the tick") << at(S, 3) << false << 997 + TickMarginMs;
        QTest::newRow("late by most of a second") << at(S + 1, 990) << true << 10 + TickMarginMs;
        QTest::newRow("late past a whole second") << at(S + 2, 10) << true << 990 + TickMarginMs;
        QTest::newRow("stepped forward an hour") << at(S + 3601, 5) << true << 995 + TickMarginMs;
        QTest::newRow("stepped back a minute") << at(S - 59, 5) << true << 995 + TickMarginMs;
        QTest::newRow("stepped back into the shown second")
            << at(S, 500) << false << 500 + TickMarginMs;
        QTest::newRow("before the epoch")
            << qint64(-1) << true << 1 + TickMarginMs; // seconds round down
    }
    void oneFiring()
    {
        QFETCH(qint64, now);
        QFETCH(bool, due);
        QFETCH(int, delay);
        TickSchedule s;
        s.markShown(at(S, 5));
        QCOMPARE(s.isDue(now), due);
        // A second not yet shown is overdue: waiting for the next boundary would leave it out.
        QCOMPARE(s.delayToNextTick(now) == 0, due);
        if (due)
            s.markShown(now);
        QCOMPARE(s.delayToNextTick(now), delay);
    }

    void everySecondOnceInOrder_data()
    {
        QTest::addColumn<QList<int>>("jitter"); // ms each firing is late (<0: early), cycled
        QTest::addColumn<int>("handlerMs");
        QTest::addColumn<qint64>("wallJump"); // before firing 7
        QTest::addColumn<qint64>("monoJump");
        QTest::addColumn<int>("maxLag");
        const QList<int> none{0};
        QTest::newRow("on time") << none << 0 << qint64(0) << qint64(0) << 5;
        QTest::newRow("early within the margin")
            << QList<int>{-3} << 0 << qint64(0) << qint64(0) << 5;
        QTest::newRow("jitter across the boundary")
            << QList<int>{-40, 40, -8, 8, -6, 2} << 0 << qint64(0) << qint64(0) << 45;
        QTest::newRow("late by most of a second")
            << QList<int>{990} << 0 << qint64(0) << qint64(0) << 995;
        QTest::newRow("slow tick handler") << none << 300 << qint64(0) << qint64(0) << 5;
        QTest::newRow("stepped forward an hour")
            << none << 0 << qint64(3'600'437) << qint64(0) << 442;
        QTest::newRow("stepped back a minute") << none << 0 << qint64(-60'000) << qint64(0) << 5;
        QTest::newRow("stepped back half a second") << none << 0 << qint64(-500) << qint64(0) << 5;
        QTest::newRow("resumed after a suspend")
            << none << 0 << qint64(10'800'317) << qint64(0) << 322;
        QTest::newRow("machine stalled 2.5 s")
            << none << 0 << qint64(2'500) << qint64(2'500) << 505;
    }
    void everySecondOnceInOrder()
    {
        QFETCH(QList<int>, jitter);
        QFETCH(int, handlerMs);
        QFETCH(qint64, wallJump);
        QFETCH(qint64, monoJump);
        QFETCH(int, maxLag);
        Rig rig(at(S, 417));
        rig.handlerMs = handlerMs;
        rig.timer.start();
        qint64 jumpMono = -1;
        qsizetype firstAfter = -1;
        for (int firing = 0; firing < 120 && rig.ticks.size() < 30; ++firing) {
            if (firing == 7 && (wallJump || monoJump)) {
                rig.offset += wallJump - monoJump;
                rig.mono += monoJump;
                jumpMono = rig.mono;
                firstAfter = rig.ticks.size();
            }
            const int asked = rig.asked();
            const int error = jitter[firing % jitter.size()];
            // Only a long wait can drift early by the wall clock.
            rig.fireAfter(error < 0 && asked < 500 ? asked : asked + error);
        }
        QCOMPARE(rig.ticks.size(), 30);
        QCOMPARE(rig.ticks.first().second, S + 1); // start() counts its own second as shown

        // Across a jump: forward no further than the jump, and a step back that stays inside
        // the shown second leaves nothing out. Everywhere else: the next second, every time.
        const qint64 most = wallJump >= 0 ? wallSecond(wallJump + 999) + 1 : 1;
        const qint64 least = wallJump > -1000 ? 1 : std::numeric_limits<qint64>::min();
        for (qsizetype i = 1; i < rig.ticks.size(); ++i) {
            const qint64 step = rig.ticks[i].second - rig.ticks[i - 1].second;
            const QByteArray where = QByteArray::number(i) + ": " + QByteArray::number(step);
            QVERIFY2(step != 0, where);
            QVERIFY2(i == firstAfter ? step >= least && step <= most : step == 1, where);
        }
        for (const Tick& tick : rig.ticks)
            QVERIFY2(tick.lag <= maxLag, QByteArray::number(tick.lag));
        if (jumpMono >= 0) { // within a second of the jump the wall-clock second shows again
            const qint64 then = jumpMono + 1000 + TickMarginMs;
            qint64 shown = 0;
            for (const Tick& tick : rig.ticks)
                shown = tick.mono <= then ? tick.second : shown;
            QCOMPARE(shown, wallSecond(then + rig.offset));
        }
    }

    void startStopAndTheHandler()
    {
        Rig rig(at(S, 400));
        rig.timer.fire(); // a stray expiry before start runs nothing
        rig.timer.start();
        QCOMPARE(rig.asked(), 600 + TickMarginMs);
        rig.fireAfter(100); // early: re-aimed, no tick
        QCOMPARE(rig.asked(), 500 + TickMarginMs);
        QVERIFY(rig.ticks.isEmpty());

        // A handler that stops the timer leaves it stopped.
        const auto stopper =
            QObject::connect(&rig.timer, &SecondTimer::tick, &rig.timer, &SecondTimer::stop);
        rig.fireAfter(500 + TickMarginMs);
        QVERIFY(!rig.timer.isActive() && !rig.timer.alarm().isArmed());
        rig.fireAfter(1000);
        QCOMPARE(rig.ticks.size(), 1);
        QObject::disconnect(stopper);
        rig.timer.start();
        rig.fireAfter(rig.asked());
        QCOMPARE(rig.ticks.size(), 2);
        QVERIFY(rig.timer.alarm().isArmed());
    }

    void handlerReadsTheTimeOfItsTick()
    {
        // A handler that starts after the next boundary must still show the second the
        // schedule recorded, or that one shows twice and the next one not at all.
        Rig rig(at(S, 998));
        rig.timer.start();
        TickTimeSource source(rig.timer);
        QTime shown;
        QObject::connect(&rig.timer, &SecondTimer::tick, [&] {
            rig.mono += 5;
            shown = source.currentTime();
        });
        rig.fireAfter(rig.asked() + 997 - TickMarginMs); // reads S + 1 at .997
        QCOMPARE(shown, QDateTime::fromMSecsSinceEpoch(at(S + 1, 997)).time());
        QCOMPARE(source.currentTime(), QDateTime::fromMSecsSinceEpoch(at(S + 2, 2)).time());
    }

    void aStepShowsAtOnce_data()
    {
        QTest::addColumn<qint64>("step"); // added to the wall clock at S + 1.250
        QTest::addColumn<bool>("ticks");
        QTest::newRow("forward an hour") << qint64(3'600'300) << true;
        QTest::newRow("back an hour") << qint64(-3'600'300) << true;
        QTest::newRow("back into a second shown before") << qint64(-2'000) << true;
        // The second on show is the time now: another tick would only blink the colon twice.
        QTest::newRow("forward within the second on show") << qint64(300) << false;
        QTest::newRow("back within the second on show") << qint64(-150) << false;
    }
    void aStepShowsAtOnce()
    {
        QFETCH(qint64, step);
        QFETCH(bool, ticks);
        Rig rig(at(S, 400));
        rig.timer.start();
        rig.fireAfter(rig.asked());
        rig.mono += 250;
        rig.offset += step;
        const qint64 now = rig.mono + rig.offset;
        rig.alarm->step(); // as the system reports it; no time passes
        QCOMPARE(rig.ticks.size(), ticks ? 2 : 1);
        QCOMPARE(rig.ticks.last().second, wallSecond(now));
        // Aimed anew from the new time: an alarm aimed on the old one would wait out a step back.
        QCOMPARE(rig.timer.alarm().deadline(), std::optional<qint64>(at(wallSecond(now) + 1)));
        rig.fireAfter(rig.asked());
        QCOMPARE(rig.ticks.last().second, wallSecond(now) + 1);
    }

    void startTakesTheSecondShownAtStartUp_data()
    {
        QTest::addColumn<qint64>("read"); // what the start-up showed; 0: it read nothing
        QTest::addColumn<qint64>("started");
        QTest::addColumn<int>("asked");
        QTest::addColumn<qint64>("firstTick");
        QTest::newRow("one second") << at(S, 500) << at(S, 700) << 300 << S + 1;
        QTest::newRow("boundary between them") << at(S, 999) << at(S + 1, 2) << 0 << S + 1;
        QTest::newRow("nothing read") << qint64(0) << at(S + 1, 2) << 998 << S + 2;
    }
    void startTakesTheSecondShownAtStartUp()
    {
        QFETCH(qint64, read);
        QFETCH(qint64, started);
        QFETCH(int, asked);
        QFETCH(qint64, firstTick);
        Rig rig(read ? read : started);
        TickTimeSource source(rig.timer);
        if (read)
            source.currentTime();
        rig.mono += started - rig.offset;
        rig.timer.start();
        QCOMPARE(rig.asked(), asked);
        rig.fireAfter(asked);
        QCOMPARE(rig.ticks.size(), 1);
        QCOMPARE(rig.ticks.first().second, firstTick);
    }

    // The real alarms, on deadlines that have passed already, so nothing waits.
    void alarms_data()
    {
        QTest::addColumn<bool>("system");  // else a TimerAlarm on the system clock
        QTest::addColumn<QString>("then"); // after arming at a passed deadline
        QTest::addColumn<int>("expiries");
        for (const bool system : {true, false}) {
            const char* kind = system ? "system" : "timer";
            QTest::addRow("%s: a passed deadline expires once", kind) << system << "" << 1;
            QTest::addRow("%s: disarmed, a passed deadline is dropped", kind)
                << system << "disarm" << 0;
            QTest::addRow("%s: armed again, the passed deadline is dropped", kind)
                << system << "rearm" << 0;
        }
    }
    void alarms()
    {
        QFETCH(bool, system);
        QFETCH(QString, then);
        QFETCH(int, expiries);
        std::unique_ptr<WallAlarm> alarm =
            system ? makeSystemAlarm() : std::make_unique<TimerAlarm>(&systemWallClockMs);
#ifdef Q_OS_LINUX
        if (system) // the kernel's alarm, not the stand-in
            QVERIFY(!dynamic_cast<TimerAlarm*>(alarm.get()));
#endif
        QSignalSpy expired(alarm.get(), &WallAlarm::expired);
        QSignalSpy stepped(alarm.get(), &WallAlarm::clockStepped);
        const qint64 now = systemWallClockMs();
        alarm->arm(now - 1000);
        if (then == "disarm")
            alarm->disarm();
        else if (then == "rearm")
            alarm->arm(now + 3'600'000);
        if (expiries)
            QVERIFY(expired.wait(5000));
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(expired.size(), expiries);
        QCOMPARE(alarm->isArmed(), then == "rearm");
        QCOMPARE(stepped.size(), 0);
    }
};

QTEST_MAIN(TestTickSchedule)
#include "tst_tickschedule.moc"
