// The tick as a whole, without a window: caption rule, blink phase, one
// reading of the clock per tick, the pictures and the hand-over to the line.

#include "clock/clockengine.h"
#include "clock/frame.h"
#include "support/fixedtime.h"
#include "support/patterns.h"

#include <QDateTime>
#include <QTest>

#include <ctime>

using namespace tikvor;
using namespace tikvor::test;

namespace {

// Face and sink write what happens, in order, to one log.
class RecordingFace : public ClockFace {
public:
    bool minimised = false;
    QString caption;
    std::array<QString, 8> pictures;
    int marker = -1;
    QString frameText;
    QStringList* log = nullptr;
    bool isMinimised() const override { return minimised; }
    void setCaption(const QString& c) override
    {
        note("caption");
        caption = c;
    }
    void showPicture(int index, const QString& path) override
    {
        note("picture");
        pictures[static_cast<size_t>(index)] = path;
    }
    void moveMarker(int left) override
    {
        note("marker");
        marker = left;
    }
    void showFrame(const QString& t) override
    {
        note("label " + QString(t).remove(u' '));
        frameText = t;
    }

private:
    void note(const QString& what)
    {
        if (log)
            *log << what;
    }
};

class RecordingSink : public FrameSink {
public:
    QStringList frames;
    QStringList* log = nullptr;
    void sendFrame(ClockState& s) override
    {
        frames << s.FrameBits;
        if (log)
            *log << "send " + s.FrameBits;
    }
};

struct Rig {
    ClockState state;
    CharacterTable table;
    FixedTime time;
    RecordingFace face;
    RecordingSink sink;
    ClockEngine engine{state, table, time, face};
    Rig()
    {
        table.fill("10010010");
        state.BlinkSign = 1.0f;
        state.PortCaption = "Tikvor - COM1";
        engine.setFrameSink(&sink);
    }
};

} // namespace

class TestClockEngine : public QObject {
    Q_OBJECT
private slots:
    // The frame of a wall-clock second shows the local time of that instant by the rules then in
    // force: a change of summer time shows from its first second.
    void wallSecondFrameFollowsTheZoneRules_data()
    {
        QTest::addColumn<qint64>("second");
        QTest::addColumn<QString>("shows");
        // Central Europe in 2026: summer time from 29 March to 25 October, 01:00 UTC each.
        const auto utc = [](int month, int day) {
            return QDateTime(QDate(2026, month, day), QTime(1, 0), Qt::UTC).toSecsSinceEpoch();
        };
        QTest::newRow("before summer time") << utc(3, 29) - 1 << "01:59:59";
        QTest::newRow("summer time's first second") << utc(3, 29) << "03:00:00";
        QTest::newRow("summer time's last second") << utc(10, 25) - 1 << "02:59:59";
        QTest::newRow("winter time's first second") << utc(10, 25) << "02:00:00";
    }
    void wallSecondFrameFollowsTheZoneRules()
    {
        QFETCH(qint64, second);
        QFETCH(QString, shows);
        const ZoneRule zone;
        CharacterTable table;
        std::copy(SamplePatterns.begin(), SamplePatterns.end(), table.begin());
        QCOMPARE(shown(wallSecondFrame(table, second, 1.0f)).left(8), shows);
    }

    void blinkAlternatesFromStartUp()
    {
        Rig r;
        QList<float> seen;
        for (int i = 0; i < 4; ++i) { // start-up run and three timer ticks
            r.engine.UpdateClock();
            seen << r.state.BlinkSign;
        }
        QCOMPARE(seen, (QList<float>{-1.0f, 1.0f, -1.0f, 1.0f}));
    }

    void captionRule_data()
    {
        QTest::addColumn<QList<bool>>("minimised"); // per tick
        QTest::addColumn<QStringList>("captions");
        QTest::newRow("open") << QList<bool>{false} << QStringList{"Tikvor - COM1"};
        QTest::newRow("minimised shows the time")
            << QList<bool>{true} << QStringList{timeCaption(QTime(9, 5, 7))};
        QTest::newRow("restored shows the port again")
            << QList<bool>{false, true, false}
            << QStringList{"Tikvor - COM1", timeCaption(QTime(9, 5, 7)), "Tikvor - COM1"};
    }
    void captionRule()
    {
        QFETCH(QList<bool>, minimised);
        QFETCH(QStringList, captions);
        Rig r;
        for (int i = 0; i < minimised.size(); ++i) {
            r.face.minimised = minimised[i];
            r.engine.UpdateClock();
            QCOMPARE(r.face.caption, captions[i]);
        }
    }

    void minimisedCaptionCarriesSeconds()
    {
        const QString text = timeCaption(QTime(21, 4, 37));
        QVERIFY2(text.contains("37"), qPrintable(text));
        QVERIFY2(text.contains("04"), qPrintable(text));
    }

    void oneReadingFeedsTheWholeTick()
    {
        Rig r;
        r.engine.UpdateClock();
        QCOMPARE(r.time.reads, 1);
        r.face.minimised = true;
        r.engine.UpdateClock();
        QCOMPARE(r.time.reads, 2);
    }

    void tickShowsPicturesMarkerAndFrame()
    {
        Rig r;
        r.time.now = QTime(23, 59, 59);
        r.engine.UpdateClock();
        QCOMPARE(r.face.pictures[1], QString("data/2.gif"));
        QCOMPARE(r.face.pictures[3], QString("data/5.gif"));
        QCOMPARE(r.face.pictures[4], QString("data/9.gif"));
        QCOMPARE(r.face.pictures[6], QString("data/s9.gif"));
        QCOMPARE(r.face.pictures[7], QString("data/d-1.gif"));
        QCOMPARE(r.face.marker, 3719);
        QCOMPARE(r.face.frameText, QString("100100111001001110010011 100100101001001010010010"));
        QCOMPARE(r.state.FrameBits.size(), 48);
    }

    void sendingFollowsPortClosed_data()
    {
        QTest::addColumn<qint16>("portClosed");
        QTest::addColumn<bool>("hasSink");
        QTest::addColumn<int>("frames");
        QTest::newRow("port open") << False16 << true << 2;
        QTest::newRow("port closed") << True16 << true << 0;
        QTest::newRow("no line layer") << False16 << false << 0;
    }
    void sendingFollowsPortClosed()
    {
        QFETCH(qint16, portClosed);
        QFETCH(bool, hasSink);
        QFETCH(int, frames);
        Rig r;
        r.state.PortClosed = portClosed;
        if (!hasSink)
            r.engine.setFrameSink(nullptr);
        r.engine.UpdateClock();
        r.time.now = QTime(9, 5, 8);
        r.engine.UpdateClock();
        QCOMPARE(r.sink.frames.size(), frames);
        // The frame is built and shown whether or not it is sent.
        QCOMPARE(r.state.FrameBits.size(), 48);
        QVERIFY(r.face.frameText.startsWith("1001001"));
    }

    void theFrameLeavesBeforeTheWindowIsTouched()
    {
        Rig r;
        r.engine.UpdateClock();
        QStringList log;
        r.face.log = r.sink.log = &log;
        r.time.now = QTime(23, 59, 59);
        r.engine.UpdateClock();
        QCOMPARE(log.size(), 11); // frame, caption, 7 pictures, marker, label
        QVERIFY2(log.first().startsWith("send "), qPrintable(log.join('|')));
        // The frame sent carries this tick's time, not the last one's.
        QCOMPARE(log.first().mid(5), log.last().mid(6));
    }
};

QTEST_APPLESS_MAIN(TestClockEngine)
#include "tst_clockengine.moc"
