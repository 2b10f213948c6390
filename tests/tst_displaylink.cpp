// The core both front ends share, on its own: port choices that wait their turn, a set clock
// on the display at once, and the one way out reported once, after the line, silent about a
// port choice it cut short.

#include "link/displaylink.h"
#include "support/fixedtime.h"
#include "support/linkrig.h"
#include "support/patterns.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using namespace tikvor;
using namespace tikvor::test;

namespace {

// The core on its own.
struct Rig final : LinkRig {
    DisplayLink own;
    explicit Rig(PortPolicy ports = PortPolicy::Buttons) : own(options(ports)) {}
    DisplayLink& link() override { return own; }
};

} // namespace

class TestDisplayLink : public QObject {
    Q_OBJECT
private slots:
    // A click made while a choice is on the line thread starts from what that choice decided.
    void clicksWaitForTheChoiceInProgress()
    {
        Rig r;
        r.lines.working = 0b11111;
        r.link().start();
        r.settle();
        QSignalSpy chosen(&r.link(), &DisplayLink::portChosen);
        QSemaphore gate;
        r.lines.openGate = &gate;
        r.link().clickOption(3);
        r.link().clickOption(5);
        gate.release(6);
        QTRY_COMPARE(chosen.size(), 1); // the second choice now waits at the gate
        QCOMPARE(chosen[0][0].value<PortView>().selected, 3);
        gate.release(6);
        r.settle();
        r.lines.openGate = nullptr;
        QCOMPARE(chosen.size(), 2);
        QCOMPARE(chosen[0][0].value<PortView>().selected, 3);
        QCOMPARE(chosen[1][0].value<PortView>().selected, 5);
        QCOMPARE(r.lines.inUse.load(), 5);
        QCOMPARE(r.link().state().PortCaption, QString("Tikvor - COM5"));
    }

    // The frame sent ahead for the next second was reckoned by the old time: a set clock drops
    // it; a new second goes at once, and the next one is aimed by the new time.
    void aSetClockIsNeverShownLateOrWrong_data()
    {
        QTest::addColumn<qint64>("stepMs"); // at .300 of a second
        QTest::newRow("an hour on") << qint64(3'600'500);
        QTest::newRow("back within the second on show") << qint64(-250);
    }
    void aSetClockIsNeverShownLateOrWrong()
    {
        QFETCH(qint64, stepMs);
        Rig r;
        r.link().start();
        r.settle();
        const auto time = [&](qint64 ms) {
            return QDateTime::fromMSecsSinceEpoch(ms).time().toString("HH:mm:ss");
        };
        const auto frames = [&] {
            QStringList times;
            for (const QString& f : decodeFrames(r.lines.calls()))
                if (!f.startsWith(u'O'))
                    times << shown(f).left(8);
            return times;
        };
        QStringList expected{time(r.wall)};
        r.wall += stepMs;
        r.link().timer().clockStepped();
        r.settle();
        if (time(r.wall) != expected.last())
            expected << time(r.wall);
        const qint64 next = 1000 - r.wall % 1000; // on the line clock, still at 0
        r.steady = next - 50;
        r.settle();
        QCOMPARE(frames(), expected);
        r.steady = next;
        r.settle();
        QCOMPARE(frames(), expected << time(r.wall + 1000));
    }

    // The frame sent ahead is the wall clock's: summer time shows from its first second.
    void theFrameAheadFollowsTheZoneRules()
    {
        const ZoneRule zone;
        Rig r;
        const qint64 spring =
            QDateTime(QDate(2026, 3, 29), QTime(1, 0), Qt::UTC).toMSecsSinceEpoch();
        r.wall = spring - 700;
        r.link().start();
        r.settle();
        r.steady = 700;
        r.settle();
        QStringList times;
        for (const QString& f : decodeFrames(r.lines.calls()))
            if (!f.startsWith(u'O'))
                times << shown(f).left(8);
        QCOMPARE(times, QStringList({"01:59:59", "03:00:00"}));
    }

    // A click on another port shows the second on show there at once, not from the next one.
    void aSwitchShowsTheCurrentSecondAtOnce()
    {
        Rig r;
        r.lines.working = 0b11111;
        r.link().start();
        r.settle();
        r.link().clickOption(3);
        r.settle();
        const QStringList frames = decodeFrames(r.lines.calls());
        const qsizetype opened = frames.lastIndexOf("OCOM3");
        QVERIFY(opened >= 0 && opened + 1 < frames.size());
        QCOMPARE(shown(frames[opened + 1]).left(8),
                 QDateTime::fromMSecsSinceEpoch(r.wall).time().toString("HH:mm:ss"));
    }

    void stopIsReportedOnceAfterTheLine_data()
    {
        QTest::addColumn<bool>("started");
        QTest::newRow("before start") << false;
        QTest::newRow("a port in use") << true;
    }
    void stopIsReportedOnceAfterTheLine()
    {
        QFETCH(bool, started);
        Rig r;
        r.lines.working = 0b00001;
        if (started) {
            r.link().start();
            r.settle(); // the port chosen and the first frame sent
        }
        QSignalSpy stopping(&r.link(), &DisplayLink::stopping);
        QSignalSpy stopped(&r.link(), &DisplayLink::stopped);
        r.link().stop(7);
        r.link().stop(0);
        QCOMPARE(stopping.size(), 1);
        QVERIFY(!r.link().timer().isActive());
        QVERIFY(r.link().waitStopped(5000));
        QTRY_COMPARE(stopped.size(), 1);
        QCOMPARE(stopped[0][0].toInt(), 7);
        if (started)
            QVERIFY(r.lines.lineCalls().endsWith("D0T0"));
    }

    // A stop while a port choice is held up inside an open (a very slow adapter): what that
    // choice finds is reported to nobody, no open follows it, and stopped comes in time.
    void stopMidChoiceReportsNothing_data()
    {
        QTest::addColumn<PortPolicy>("ports");
        QTest::addColumn<bool>("click");
        QTest::newRow("start-up scan") << PortPolicy::Buttons << false;
        QTest::newRow("click") << PortPolicy::Buttons << true;
        QTest::newRow("tikvor-display's try") << PortPolicy::Retry << false;
    }
    void stopMidChoiceReportsNothing()
    {
        QFETCH(PortPolicy, ports);
        QFETCH(bool, click);
        QSemaphore gate; // outlives the rig, whose line thread may still pass it
        QStringList reported;
        Rig r(ports);
        DisplayLink& link = r.link();
        r.lines.working = 0b11110; // the try goes on past COM1
        if (click) {
            link.start();
            r.settle();
        }
        r.lines.openGate = &gate;
        r.lines.opening.acquire(r.lines.opening.available()); // the opens of the start-up
        if (click)
            link.clickOption(3);
        else
            link.start();
        QVERIFY(r.lines.opening.tryAcquire(1, 5000)); // the line thread is inside an open
        const int opens = r.lines.openCalls;          // the open in progress counts once it returns
        const QString caption = link.state().PortCaption;
        connect(&link, &DisplayLink::portChosen, this, [&] { reported << "portChosen"; });
        connect(&link, &DisplayLink::portInUse, this, [&] { reported << "portInUse"; });
        connect(&link, &DisplayLink::noPort, this, [&] { reported << "noPort"; });
        connect(&link, &DisplayLink::portRefused, this, [&] { reported << "portRefused"; });
        QSignalSpy stopped(&link, &DisplayLink::stopped);
        QElapsedTimer sinceStop;
        sinceStop.start();
        link.stop(4);
        // More than any choice opens: an open after the stop is counted, not held.
        gate.release(100);
        QVERIFY(stopped.wait(2 * DisplayLink::StopLimitMs));
        QVERIFY2(sinceStop.elapsed() <= DisplayLink::StopLimitMs,
                 qPrintable(QString("%1 ms").arg(sinceStop.elapsed())));
        QCOMPARE(stopped[0][0].toInt(), 4);
        r.settle(); // anything the line thread still queued
        QCOMPARE(reported.join(", "), QString());
        QCOMPARE(link.state().PortCaption, caption);
        QCOMPARE(r.lines.openCalls.load(), opens + 1);
    }
};

QTEST_GUILESS_MAIN(TestDisplayLink)
#include "tst_displaylink.moc"
