// The shift-out seen as the sequence of line operations it makes.

#include "clock/clockstate.h"
#include "clock/sendframe.h"
#include "support/recordinglines.h"

#include <QTest>

using namespace tikvor;
using namespace tikvor::test;

namespace {

// The TXD levels in the order they went out.
QString txdValues(const QStringList& calls)
{
    QString out;
    for (const QString& c : calls)
        if (c.startsWith(u'T'))
            out += c.mid(1);
    return out;
}

QString reversed(QString s)
{
    std::reverse(s.begin(), s.end());
    return s;
}

} // namespace

class TestSendFrame : public QObject {
    Q_OBJECT
private slots:
    void wholeFrameIsClockedOutLastCharacterFirst()
    {
        ClockState s;
        s.FrameBits = QString("10010011").repeated(3) + QString("01100000").repeated(3);
        RecordingLines lines;
        QCOMPARE(SendFrame(s.FrameBits, lines), 48);
        QCOMPARE(lines.calls().size(), 144);
        for (int i = 0; i < 48; ++i) {
            QCOMPARE(lines.calls()[3 * i], QString("D1"));
            QVERIFY(lines.calls()[3 * i + 1].startsWith(u'T'));
            QCOMPARE(lines.calls()[3 * i + 2], QString("D0"));
        }
        QCOMPARE(txdValues(lines.calls()), reversed(s.FrameBits));
        QCOMPARE(lines.calls()[1], QString("T0"));   // character 48 first
        QCOMPARE(lines.calls()[142], QString("T1")); // character 1 last
    }

    void defaultPatternsGiveTheirTxdSequence()
    {
        ClockState s;
        s.FrameBits = QString("10010010").repeated(6);
        RecordingLines lines;
        SendFrame(s.FrameBits, lines);
        QCOMPARE(txdValues(lines.calls()), QString("01001001").repeated(6));
    }

    void failureEndsTheFrameThere_data()
    {
        QTest::addColumn<int>("failAt");
        QTest::addColumn<int>("sent");
        QTest::newRow("first DTR up") << 1 << 0;
        QTest::newRow("first TXD") << 2 << 0;
        QTest::newRow("first DTR down") << 3 << 0;
        QTest::newRow("middle of bit 24") << 71 << 23;
        QTest::newRow("very last call") << 144 << 47;
    }
    void failureEndsTheFrameThere()
    {
        QFETCH(int, failAt);
        QFETCH(int, sent);
        ClockState s;
        s.FrameBits = QString("10010010").repeated(6);
        RecordingLines lines;
        lines.failAt = failAt;
        QCOMPARE(SendFrame(s.FrameBits, lines), sent);
        QCOMPARE(lines.calls().size(), failAt);
        // The next frame starts again from its last character.
        lines.failAt = -1;
        lines.clear();
        QCOMPARE(SendFrame(s.FrameBits, lines), 48);
        QCOMPARE(lines.calls().size(), 144);
    }

    void charactersAreSentByTheirValue_data()
    {
        QTest::addColumn<QString>("frame");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("empty frame touches nothing") << "" << QStringList{};
        QTest::newRow("digit other than 0 and 1") << "2" << QStringList{"D1", "T2", "D0"};
        // A character without a numeric value ends the frame after DTR rose.
        QTest::newRow("letter ends the frame") << "1x1" << QStringList{"D1", "T1", "D0", "D1"};
    }
    void charactersAreSentByTheirValue()
    {
        QFETCH(QString, frame);
        QFETCH(QStringList, calls);
        ClockState s;
        s.FrameBits = frame;
        RecordingLines lines;
        SendFrame(s.FrameBits, lines);
        QCOMPARE(lines.calls(), calls);
    }
};

QTEST_APPLESS_MAIN(TestSendFrame)
#include "tst_sendframe.moc"
