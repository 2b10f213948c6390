// The emulated display fed by the real frame builder and shift-out, and what it shows as text.

#include "clock/frame.h"
#include "clock/sendframe.h"
#include "display/displaytext.h"
#include "display/virtualdisplay.h"
#include "startup/charactertable.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace tikvor;

namespace {

// The frame of six digits "hhmmss" with the sample Data.ini's patterns.
ClockState stateShowing(const QString& digits, float blinkSign)
{
    ClockState s;
    QString* fields[6] = {&s.HourTens,    &s.HourUnits,  &s.MinuteTens,
                          &s.MinuteUnits, &s.SecondTens, &s.SecondUnits};
    for (int i = 0; i < 6; ++i)
        *fields[i] = digits.mid(i, 1);
    s.BlinkSign = blinkSign;
    s.FrameBits = buildFrame(LoadCharacterTable(TIKVOR_SOURCE_DIR "/data/Data.ini"), s);
    return s;
}

} // namespace

class TestVirtualDisplay : public QObject {
    Q_OBJECT
private slots:
    // Whole frames show every digit and both dot phases; without a latch a frame that stops
    // part-way leaves the old digits moved on by the groups that arrived.
    void showsWhatTheHardwareWould_data()
    {
        QTest::addColumn<int>("bitsOfSecond");
        QTest::addColumn<QString>("shown");
        QTest::newRow("whole first") << 0 << "0123.4.5.";
        QTest::newRow("whole second") << FrameLength << "6.7.8.901";
        QTest::newRow("cut after a group") << 8 << "123.4.5.6.";
        QTest::newRow("cut after two") << 16 << "23.4.5.6.7.";
    }
    void showsWhatTheHardwareWould()
    {
        QFETCH(int, bitsOfSecond);
        QFETCH(QString, shown);
        VirtualDisplay display(3);
        quint64 heard = 0;
        display.setListener([&](quint64 bits, auto) { heard = bits; });
        display.open();
        ClockState first = stateShowing("012345", -1.0f);
        QCOMPARE(SendFrame(first.FrameBits, display), FrameLength);
        if (bitsOfSecond > 0) {
            ClockState second = stateShowing("678901", 1.0f);
            if (bitsOfSecond < FrameLength)
                second.FrameBits[FrameLength - bitsOfSecond - 1] = u'x'; // the shift-out stops
            QCOMPARE(SendFrame(second.FrameBits, display), bitsOfSecond);
        }
        QCOMPARE(displayLine(segmentsOf(display.bits())), shown);
        QCOMPARE(heard, display.bits());
    }

    void darkStrayLoneAndDotOnlyPositions()
    {
        const auto lit = [](std::initializer_list<int> segments) {
            quint8 bits = 0;
            for (int s : segments)
                bits |= quint8(1u << s);
            return bits;
        };
        const DisplaySegments shown{
            0,        lit({0, 1}),      lit({DotSegment}), lit({5, 6, DotSegment}),
            lit({4}), lit({1, 2, 5, 6})};
        // A single segment, as a wiring step lights it, is named.
        QCOMPARE(displayLine(shown), QString(" ? .?.e4"));
    }

    void drawingGivesEverySegmentItsOwnPlace()
    {
        QSet<qsizetype> places;
        for (int s = 0; s < SegmentCount; ++s) {
            DisplaySegments shown{};
            shown[2] = quint8(1u << s);
            const QString rows = displayDrawing(shown).join(u'\n');
            const qsizetype at = rows.indexOf(QRegularExpression("[^ \n]"));
            QVERIFY(at >= 0 && rows.indexOf(QRegularExpression("[^ \n]"), at + 1) < 0);
            places.insert(at);
        }
        QCOMPARE(places.size(), SegmentCount);
    }

    void linesWorkOnlyWhileOpen()
    {
        VirtualDisplay display(2);
        QVERIFY(!display.DTR(1));
        display.open();
        QVERIFY(display.TXD(1) && display.DTR(1) && display.DTR(0) && display.DTR(1));
        QCOMPARE(display.bits(), quint64(1));
        // DTR released from high at rest, break off: the hardware clocks in one dark bit.
        display.open();
        QCOMPARE(display.bits(), quint64(2));
        display.release();
        QVERIFY(!display.DTR(1));
    }
};

QTEST_GUILESS_MAIN(TestVirtualDisplay)
#include "tst_virtualdisplay.moc"
