// Which waiting frame the line thread sends next, and when, without a thread: the time is
// whatever each step passes in. aimFrame is the rule; FrameSlots keeps the frames it is for.

#include "line/frameslots.h"

#include <QTest>

using namespace tikvor;
using Do = FrameSlots::Step::Do;

namespace {

constexpr qint64 Second = 1'000'000;
constexpr qint64 Ms = 1000;
constexpr qint64 Span = 120 * Ms;    // what a frame takes, once learnt
constexpr qint64 Margin = 6 * Ms;    // 5 % of it
constexpr qint64 At10 = 10 * Second; // the instant second 10 begins

// A frame that goes at once `phase` into its second still leaves the next one its time.
bool leavesTheNext(qint64 phase)
{
    return phase + 2 * Span + Margin <= Second;
}

FrameLead learnt(qint64 spanUs = Span)
{
    FrameLead lead;
    for (int i = 0; i < FrameLead::MinSamples; ++i)
        lead.record(spanUs, 0);
    return lead;
}

// The frame of a second reads as its number, so a test sees which second went out.
QString made(qint64 second, int)
{
    return QString::number(second);
}

FrameSlots::Timed second(qint64 n)
{
    return {n, n * Second, 1};
}

} // namespace

class TestFrameSlots : public QObject {
    Q_OBJECT
private slots:
    void aim_data()
    {
        QTest::addColumn<qint64>("nowUs");
        QTest::addColumn<qint64>("spanUs"); // -1: not known
        QTest::addColumn<int>("what");      // Aim::Do
        QTest::addColumn<qint64>("second");
        QTest::addColumn<qint64>("untilUs");
        QTest::addColumn<qint64>("holdUs"); // -1: none
        const auto row = [](const char* tag, qint64 now, qint64 span, Aim::Do what, qint64 s,
                            qint64 until = 0, qint64 hold = -1) {
            QTest::newRow(tag) << now << span << int(what) << s << until << hold;
        };
        // A frame for second 10, which begins at At10.
        row("early: waits to start by its span and the margin", At10 - 500 * Ms, Span,
            Aim::Do::Wait, 10, At10 - Span - Margin);
        row("in the margin: goes, its end held for the second", At10 - Span - 2 * Ms, Span,
            Aim::Do::Send, 10, 0, At10);
        row("span not known: waits for the second", At10 - 500 * Ms, -1, Aim::Do::Wait, 10, At10);
        row("span not known, on the second: goes", At10, -1, Aim::Do::Send, 10, 0, At10);
        row("late, ends inside its second: at once", At10 + 100 * Ms, Span, Aim::Do::Send, 10);
        row("would end after its second: the next", At10 + 900 * Ms, Span, Aim::Do::Remake, 11);
        // A line too slow for a frame a second: on a second it can start early enough for.
        row("1.2 s a frame, handed a second ahead", At10 - 999 * Ms, 1200 * Ms, Aim::Do::Remake,
            11);
        row("1.2 s a frame, handed on its second", At10, 1200 * Ms, Aim::Do::Remake, 12);
    }
    void aim()
    {
        QFETCH(qint64, nowUs);
        QFETCH(qint64, spanUs);
        QFETCH(int, what);
        QFETCH(qint64, second);
        QFETCH(qint64, untilUs);
        QFETCH(qint64, holdUs);
        const Aim aim =
            aimFrame(10, At10, nowUs, spanUs < 0 ? std::nullopt : std::optional<qint64>(spanUs));
        QCOMPARE(int(aim.what), what);
        QCOMPARE(aim.second, second);
        if (aim.what == Aim::Do::Wait)
            QCOMPARE(aim.untilUs, untilUs);
        QCOMPARE(aim.holdUs.value_or(-1), holdUs);
    }

    void newestWaitingFrameWins_data()
    {
        QTest::addColumn<bool>("timed"); // all for the same second, handed over before its start
        QTest::newRow("for now") << false;
        QTest::newRow("timed") << true;
    }
    void newestWaitingFrameWins()
    {
        QFETCH(bool, timed);
        FrameSlots frames;
        for (const QString bits : {"1", "2", "3"}) {
            if (timed)
                frames.putTimed(bits, second(1));
            else
                frames.putNow(bits);
        }
        const FrameSlots::Step step = frames.next(Second, {}, {});
        QCOMPARE(step.frame.bits, QString("3"));
        QCOMPARE(frames.next(Second, {}, {}).what, Do::Nothing);
        QCOMPARE(frames.dropped(), quint64(2));
    }

    // The frame sent ahead for second 10 and the tick's own for 9 wait; the program stalls (a
    // freeze, a suspend) and goes on later. The first frame out shows the second now current at
    // once when it still ends inside it (leaving the next one its time), else the next, ending
    // on its boundary: never a second that has passed, never one older than the one before.
    void noOldTimeAfterAStall_data()
    {
        QTest::addColumn<qint64>("nowUs");
        QTest::addColumn<qint64>("shows");
        for (const qint64 stall : {5 * Second, 30 * Second}) {
            for (const qint64 phase :
                 {0LL, 100 * Ms, 500 * Ms, 754 * Ms, 755 * Ms, 950 * Ms, 999 * Ms}) {
                const qint64 current = 10 + stall / Second;
                QTest::addRow("%llds stall, %lld ms into the second", stall / Second, phase / Ms)
                    << At10 + stall + phase << (leavesTheNext(phase) ? current : current + 1);
            }
        }
    }
    void noOldTimeAfterAStall()
    {
        QFETCH(qint64, nowUs);
        QFETCH(qint64, shows);
        const FrameLead lead = learnt();
        FrameSlots frames;
        frames.setMaker(made);
        frames.putTimed("9", second(9));
        frames.putTimed("10", second(10));
        FrameSlots::Step step = frames.next(nowUs, lead, {});
        if (step.what == Do::Wait) // the next second, from its start
            step = frames.next(step.untilUs, lead, {});
        QCOMPARE(step.what, Do::Send);
        QCOMPARE(step.frame.second, shows);
        QCOMPARE(step.frame.bits, made(shows, 1));
        frames.frameSent(shows, true);
        QVERIFY(!frames.waiting());
    }

    // Without a maker a frame whose second has passed is dropped, not sent.
    void aPassedSecondWithoutAMakerIsDropped()
    {
        FrameSlots frames;
        frames.putTimed("10", second(10));
        QCOMPARE(frames.next(At10 + 5 * Second, learnt(), {}).what, Do::Nothing);
        QCOMPARE(frames.dropped(), quint64(1));
    }

    // Second 10 is on the display and the frame of 11 waits; a port choice opens another port
    // `phase` into second 10. The new port shows 10 at once when that leaves 11 its time, then
    // 11 on its second: the new port never misses a second it could show.
    void aSwitchLosesNoSecond_data()
    {
        QTest::addColumn<qint64>("phase");
        for (const qint64 phase : {0LL, 300 * Ms, 754 * Ms, 755 * Ms, 880 * Ms, 990 * Ms})
            QTest::addRow("%lld ms into the second", phase / Ms) << phase;
    }
    void aSwitchLosesNoSecond()
    {
        QFETCH(qint64, phase);
        const FrameLead lead = learnt();
        FrameSlots frames;
        frames.setMaker(made);
        frames.putTimed("10", second(10));
        QCOMPARE(frames.next(At10 - Span, lead, {}).frame.bits, QString("10"));
        frames.frameSent(10, true);
        frames.putTimed("11", second(11));
        frames.portChosen(At10 + phase);
        QList<qint64> shown;
        for (qint64 now = At10 + phase; frames.waiting();) {
            const FrameSlots::Step step = frames.next(now, lead, {});
            if (step.what == Do::Wait) {
                now = step.untilUs;
                continue;
            }
            QCOMPARE(step.what, Do::Send);
            shown << *step.frame.second;
            frames.frameSent(step.frame.second, true);
            now += Span;
        }
        const QList<qint64> expected =
            leavesTheNext(phase) ? QList<qint64>{10, 11} : QList<qint64>{11};
        QCOMPARE(shown, expected);
    }

    // Frame 1 waits for its start; something else takes the line first, so its span no longer
    // runs from the start it aimed at.
    void whatGoesFirstMakesTheTimedFrameAimAgain_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<std::optional<qint64>>("spanFrom");
        QTest::newRow("nothing: span from the start aimed at")
            << QString() << std::optional<qint64>(At10 - Span - Margin);
        QTest::newRow("a task") << "task" << std::optional<qint64>();
        QTest::newRow("a frame for now") << "now" << std::optional<qint64>();
    }
    void whatGoesFirstMakesTheTimedFrameAimAgain()
    {
        QFETCH(QString, first);
        QFETCH(std::optional<qint64>, spanFrom);
        const FrameLead lead = learnt();
        FrameSlots frames;
        frames.putTimed("1", second(10));
        QCOMPARE(frames.next(0, lead, {}).what, Do::Wait);
        if (first == "task")
            frames.taskFirst();
        if (first == "now") {
            frames.putNow("2");
            QCOMPARE(frames.next(0, lead, {}).frame.bits, QString("2"));
        }
        const FrameSlots::Step step = frames.next(At10 - Span - Margin, lead, {});
        QCOMPARE(step.frame.bits, QString("1"));
        QCOMPARE(step.frame.spanFromUs, spanFrom);
    }

    void aSetClockDropsTheTimedFrames()
    {
        FrameSlots frames;
        frames.setMaker(made);
        frames.putTimed("10", second(10));
        frames.putTimed("11", second(11));
        frames.putNow("2");
        QVERIFY(frames.dropTimed());
        QVERIFY(!frames.dropTimed());
        QCOMPARE(frames.next(At10, {}, {}).frame.bits, QString("2"));
        QCOMPARE(frames.next(At10, {}, {}).what, Do::Nothing);
        frames.portChosen(At10); // the instant of a second is forgotten too
        QVERIFY(!frames.waiting());
        QCOMPARE(frames.dropped(), quint64(2));
    }

    // Frame 1 shows second 42; then frame 2 comes.
    void aSecondShowsOnce_data()
    {
        QTest::addColumn<bool>("whole");  // frame 1 went out whole
        QTest::addColumn<bool>("opened"); // then a port was opened
        QTest::addColumn<qint64>("second");
        QTest::addColumn<bool>("timed"); // frame 2 is timed
        QTest::addColumn<bool>("sent");
        QTest::newRow("the same second") << true << false << 42LL << false << false;
        QTest::newRow("the same second, timed") << true << false << 42LL << true << false;
        QTest::newRow("the next second") << true << false << 43LL << false << true;
        QTest::newRow("after an open") << true << true << 42LL << false << true;
        QTest::newRow("after a cut frame") << false << false << 42LL << false << true;
    }
    void aSecondShowsOnce()
    {
        QFETCH(bool, whole);
        QFETCH(bool, opened);
        QFETCH(qint64, second);
        QFETCH(bool, timed);
        QFETCH(bool, sent);
        FrameSlots frames;
        frames.putNow("1", 42);
        QCOMPARE(frames.next(0, {}, {}).frame.bits, QString("1"));
        frames.frameSent(42, whole);
        if (opened)
            frames.portOpened();
        if (timed)
            frames.putTimed("2", {second, 42 * Second, 1});
        else
            frames.putNow("2", second);
        const FrameSlots::Step step = frames.next(42 * Second, {}, {});
        QCOMPARE(step.what == Do::Send ? step.frame.bits : QString(),
                 sent ? QString("2") : QString());
        QCOMPARE(frames.dropped(), quint64(sent ? 0 : 1));
        QVERIFY(!frames.waiting());
    }
};

QTEST_GUILESS_MAIN(TestFrameSlots)
#include "tst_frameslots.moc"
