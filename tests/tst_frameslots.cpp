// Which waiting frame the line thread sends next, and when, without a thread: the time is
// whatever each step passes in.

#include "line/frameslots.h"

#include <QTest>

using namespace tikvor;
using Do = FrameSlots::Step::Do;

namespace {

// A lead of leadUs for every frame once learnt; 0: none learnt yet.
FrameLead leadOf(qint64 leadUs)
{
    FrameLead lead;
    for (int i = 0; leadUs > 0 && i < FrameLead::MinSamples; ++i)
        lead.record(leadUs, 48);
    return lead;
}

QString sentBits(FrameSlots& frames, qint64 nowUs, const FrameLead& lead = {})
{
    const FrameSlots::Step step = frames.next(nowUs, lead, std::nullopt);
    return step.what == Do::Send ? step.frame.bits : QString();
}

} // namespace

class TestFrameSlots : public QObject {
    Q_OBJECT
private slots:
    void newestWaitingFrameWins_data()
    {
        QTest::addColumn<bool>("later"); // frames for later, all handed over before their start
        QTest::newRow("for now") << false;
        QTest::newRow("for later") << true;
    }
    void newestWaitingFrameWins()
    {
        QFETCH(bool, later);
        FrameSlots frames;
        for (const QString bits : {"1", "2", "3"}) {
            if (later)
                frames.putLater(bits, 1'000'000, {}, 0);
            else
                frames.putNow(bits, {});
        }
        QCOMPARE(sentBits(frames, 1'000'000), QString("3"));
        QCOMPARE(frames.next(1'000'000, {}, {}).what, Do::Nothing);
        QCOMPARE(frames.dropped(), quint64(2));
    }

    // Frame 1 is meant to end at 1 s; frame 2, for 2 s, is handed over at handOverUs.
    void laterFrameWhoseStartHasCome_data()
    {
        QTest::addColumn<qint64>("leadUs");
        QTest::addColumn<bool>("waited"); // the worker had frame 1 wait for its start
        QTest::addColumn<qint64>("handOverUs");
        QTest::addColumn<bool>("promoted");                  // else replaced, counted as dropped
        QTest::addColumn<std::optional<qint64>>("spanFrom"); // of frame 1
        QTest::newRow("before its start: replaced")
            << 0LL << true << 999'999LL << false << std::optional<qint64>();
        QTest::newRow("on its start: goes now")
            << 0LL << true << 1'000'000LL << true << std::optional<qint64>(1'000'000);
        QTest::newRow("its lead's start")
            << 100'000LL << true << 900'000LL << true << std::optional<qint64>(900'000);
        QTest::newRow("never waited: span from its send")
            << 0LL << false << 1'000'000LL << true << std::optional<qint64>();
    }
    void laterFrameWhoseStartHasCome()
    {
        QFETCH(qint64, leadUs);
        QFETCH(bool, waited);
        QFETCH(qint64, handOverUs);
        QFETCH(bool, promoted);
        QFETCH(std::optional<qint64>, spanFrom);
        const FrameLead lead = leadOf(leadUs);
        FrameSlots frames;
        frames.putLater("1", 1'000'000, {}, 0);
        if (waited) {
            const FrameSlots::Step step = frames.next(0, lead, {});
            QCOMPARE(step.what, Do::Wait);
            QCOMPARE(step.untilUs, 1'000'000 - leadUs);
            QVERIFY(frames.idle(step.untilUs - 1));
        }
        frames.putLater("2", 2'000'000, {}, handOverUs);
        QCOMPARE(frames.dropped(), quint64(promoted ? 0 : 1));
        FrameSlots::Step step = frames.next(handOverUs, lead, {});
        if (promoted) {
            QCOMPARE(step.frame.bits, QString("1"));
            QCOMPARE(step.frame.spanFromUs, spanFrom);
            step = frames.next(handOverUs, lead, {});
        }
        QCOMPARE(step.what, Do::Wait); // frame 2, for its own time
        QCOMPARE(step.untilUs, 2'000'000 - leadUs);
    }

    // Frame 1 waits for its start at 0.9 s; something else takes the line first.
    void whatGoesFirstMakesTheLaterFrameAimAgain_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<std::optional<qint64>>("spanFrom");
        QTest::newRow("nothing: span from the start aimed at")
            << QString() << std::optional<qint64>(900'000);
        QTest::newRow("a task") << "task" << std::optional<qint64>();
        QTest::newRow("a frame for now") << "now" << std::optional<qint64>();
    }
    void whatGoesFirstMakesTheLaterFrameAimAgain()
    {
        QFETCH(QString, first);
        QFETCH(std::optional<qint64>, spanFrom);
        const FrameLead lead = leadOf(100'000);
        FrameSlots frames;
        frames.putLater("1", 1'000'000, {}, 0);
        QCOMPARE(frames.next(0, lead, {}).what, Do::Wait);
        if (first == "task")
            frames.taskFirst();
        if (first == "now") {
            frames.putNow("2", {});
            QCOMPARE(sentBits(frames, 900'000, lead), QString("2"));
        }
        const FrameSlots::Step step = frames.next(950'000, lead, {});
        QCOMPARE(step.frame.bits, QString("1"));
        QCOMPARE(step.frame.spanFromUs, spanFrom);
    }

    void aSetClockDropsTheLaterFrame()
    {
        FrameSlots frames;
        frames.putLater("1", 1'000'000, {}, 0);
        frames.putNow("2", {});
        QVERIFY(frames.dropLater());
        QVERIFY(!frames.dropLater());
        QCOMPARE(sentBits(frames, 2'000'000), QString("2"));
        QCOMPARE(frames.next(2'000'000, {}, {}).what, Do::Nothing);
        QCOMPARE(frames.dropped(), quint64(1));
    }

    // Frame 1 shows second 42; then frame 2 comes.
    void aSecondShowsOnce_data()
    {
        QTest::addColumn<bool>("whole");  // frame 1 went out whole
        QTest::addColumn<bool>("opened"); // then a port was opened
        QTest::addColumn<qint64>("second");
        QTest::addColumn<bool>("later"); // frame 2 is for later
        QTest::addColumn<bool>("sent");
        QTest::newRow("the same second") << true << false << 42LL << false << false;
        QTest::newRow("the same second, for later") << true << false << 42LL << true << false;
        QTest::newRow("the next second") << true << false << 43LL << false << true;
        QTest::newRow("after an open") << true << true << 42LL << false << true;
        QTest::newRow("after a cut frame") << false << false << 42LL << false << true;
    }
    void aSecondShowsOnce()
    {
        QFETCH(bool, whole);
        QFETCH(bool, opened);
        QFETCH(qint64, second);
        QFETCH(bool, later);
        QFETCH(bool, sent);
        FrameSlots frames;
        frames.putNow("1", 42);
        QCOMPARE(sentBits(frames, 0), QString("1"));
        frames.frameSent(42, whole);
        if (opened)
            frames.portOpened();
        if (later)
            frames.putLater("2", 1'000'000, second, 0);
        else
            frames.putNow("2", second);
        QCOMPARE(sentBits(frames, 1'000'000), sent ? QString("2") : QString());
        QCOMPARE(frames.dropped(), quint64(sent ? 0 : 1));
        QVERIFY(!frames.waiting());
    }
};

QTEST_GUILESS_MAIN(TestFrameSlots)
#include "tst_frameslots.moc"
