// The emulated display fed by the real frame builder and shift-out, and what it shows as text.

#include "clock/frame.h"
#include "clock/sendframe.h"
#include "port/displaytext.h"
#include "port/virtualdisplay.h"
#include "startup/charactertable.h"

#include <QSet>
#include <QTest>

using namespace tikvor;

namespace {

// Six digits "hhmmss" in the clock state, with the sample Data.ini's patterns.
ClockState stateShowing(const QString& digits, float blinkSign)
{
    ClockState s;
    QString* fields[6] = {&s.HourTens,   &s.HourUnits,  &s.MinuteTens,
                          &s.MinuteUnits, &s.SecondTens, &s.SecondUnits};
    for (int i = 0; i < 6; ++i)
        *fields[i] = digits.mid(i, 1);
    s.BlinkSign = blinkSign;
    s.FrameBits = buildFrame(LoadCharacterTable(TIKVOR_SOURCE_DIR "/data/Data.ini"), s);
    return s;
}

quint8 segments(const QString& letters)
{
    quint8 bits = 0;
    for (QChar c : letters)
        bits |= quint8(1u << (c == u'.' ? DotSegment : c.unicode() - 'a'));
    return bits;
}

} // namespace

class TestVirtualDisplay : public QObject {
    Q_OBJECT
private slots:
    void wholeFrameShowsTheTime_data()
    {
        QTest::addColumn<QString>("digits");
        QTest::addColumn<float>("blinkSign");
        QTest::addColumn<QString>("shown");
        QTest::newRow("0-5, low dots") << "012345" << -1.0f << "0123.4.5.";
        QTest::newRow("6-9, high dots") << "678901" << 1.0f << "6.7.8.901";
    }
    void wholeFrameShowsTheTime()
    {
        QFETCH(QString, digits);
        QFETCH(float, blinkSign);
        QFETCH(QString, shown);
        VirtualDisplay display(3);
        quint64 heard = 0;
        display.setListener([&](quint64 bits) { heard = bits; });
        QCOMPARE(display.OpenPort("COM3,1200,N,8,1"), 3);
        ClockState s = stateShowing(digits, blinkSign);
        QCOMPARE(SendFrame(s, display), FrameLength);
        QCOMPARE(displayLine(segmentsOf(display.bits())), shown);
        QCOMPARE(heard, display.bits());
    }

    // Without a latch a frame that stops part-way leaves the old digits moved on.
    void cutFrameShowsTheShiftedPicture_data()
    {
        QTest::addColumn<int>("bitsSent");
        QTest::addColumn<QString>("shown");
        QTest::newRow("one group") << 8 << "123.4.5.6.";
        QTest::newRow("two groups") << 16 << "23.4.5.6.7.";
    }
    void cutFrameShowsTheShiftedPicture()
    {
        QFETCH(int, bitsSent);
        QFETCH(QString, shown);
        VirtualDisplay display(1);
        QVERIFY(display.OpenPort("COM1,1200,N,8,1"));
        ClockState first = stateShowing("012345", -1.0f);
        SendFrame(first, display);
        ClockState second = stateShowing("678901", 1.0f);
        second.FrameBits[FrameLength - bitsSent - 1] = u'x'; // the shift-out stops there
        QCOMPARE(SendFrame(second, display), bitsSent);
        QCOMPARE(displayLine(segmentsOf(display.bits())), shown);
    }

    void linesWorkOnlyOnItsOwnOpenPort()
    {
        VirtualDisplay display(2);
        QVERIFY(!display.DTR(1));
        QCOMPARE(display.OpenPort("COM1,1200,N,8,1"), 0);
        QCOMPARE(display.OpenPort("COM2,1200,N,8"), 0);
        QVERIFY(!display.TXD(1));
        QCOMPARE(display.OpenPort("COM2,1200,N,8,1"), 2);
        QVERIFY(display.TXD(1) && display.DTR(1) && display.DTR(0) && display.DTR(1));
        QCOMPARE(display.bits(), quint64(1));
        // DTR released from high at rest, break off: the hardware clocks in one dark bit.
        QCOMPARE(display.OpenPort("COM2,1200,N,8,1"), 2);
        QCOMPARE(display.bits(), quint64(2));
        display.release();
        QVERIFY(!display.DTR(1));
    }

    void lineText_data()
    {
        QTest::addColumn<QStringList>("positions");
        QTest::addColumn<QString>("text");
        QTest::newRow("dots left") << QStringList{"bc.", "abdeg.", "abcdg.", "bcfg", "acdfg", "acdefg"}
                                   << "1.2.3.456";
        QTest::newRow("shapes 7-0") << QStringList{"abc", "abcdefg", "abcdfg", "abcdef", "abcdef", "bc"}
                                    << "789001";
        QTest::newRow("dark, stray, dot only")
            << QStringList{"", "ab", ".", "fg.", "abcdefg", "bcfg"} << " ? .?.84";
    }
    void lineText()
    {
        QFETCH(QStringList, positions);
        QFETCH(QString, text);
        DisplaySegments shown{};
        for (int p = 0; p < DisplayPositions; ++p)
            shown[size_t(p)] = segments(positions[p]);
        QCOMPARE(displayLine(shown), text);
    }

    void drawingGivesEverySegmentItsOwnPlace()
    {
        QSet<int> places;
        for (int s = 0; s < SegmentCount; ++s) {
            DisplaySegments shown{};
            shown[2] = quint8(1u << s);
            const QStringList rows = displayDrawing(shown);
            QCOMPARE(rows.size(), 3);
            int marks = 0;
            for (int r = 0; r < 3; ++r) {
                QCOMPARE(rows[r].size(), rows[0].size());
                for (int c = 0; c < rows[r].size(); ++c)
                    if (rows[r][c] != u' ') {
                        ++marks;
                        places.insert(r * 1000 + c);
                    }
            }
            QCOMPARE(marks, 1);
        }
        QCOMPARE(places.size(), SegmentCount);
    }
};

QTEST_GUILESS_MAIN(TestVirtualDisplay)
#include "tst_virtualdisplay.moc"
