// The pure pieces of the tick: digits, frame, label text, marker, picture names, paths.

#include "clock/frame.h"

#include <QTest>

using namespace tikvor;

namespace {

CharacterTable uniformTable(const QString& pattern)
{
    CharacterTable t;
    t.fill(pattern);
    return t;
}

// The reference wiring of the sample Data.ini.
CharacterTable referenceTable()
{
    return {"11111100", "01100000", "11011010", "11110010", "01100110",
            "10110110", "10111110", "11100000", "11111110", "11110110"};
}

ClockState stateAt(QTime t, float blink)
{
    ClockState s;
    setDigits(s, t);
    s.BlinkSign = blink;
    return s;
}

} // namespace

class TestFrame : public QObject {
    Q_OBJECT
private slots:
    void digits_data()
    {
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("digits"); // hour tens, hour units, ..., second units
        QTest::newRow("09:05:07") << QTime(9, 5, 7) << "090507";
        QTest::newRow("midnight") << QTime(0, 0, 0) << "000000";
        QTest::newRow("last second of the day") << QTime(23, 59, 59) << "235959";
        QTest::newRow("two-digit hour") << QTime(10, 0, 0) << "100000";
        QTest::newRow("12:34:56") << QTime(12, 34, 56) << "123456";
    }
    void digits()
    {
        QFETCH(QTime, time);
        QFETCH(QString, digits);
        ClockState s;
        setDigits(s, time);
        const QString got =
            s.HourTens + s.HourUnits + s.MinuteTens + s.MinuteUnits + s.SecondTens + s.SecondUnits;
        QCOMPARE(got, digits);
        for (const QString* f : {&s.HourTens, &s.HourUnits, &s.MinuteTens, &s.MinuteUnits,
                                 &s.SecondTens, &s.SecondUnits})
            QCOMPARE(f->size(), 1);
    }

    void frame_data()
    {
        QTest::addColumn<CharacterTable>("table");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<float>("blink");
        QTest::addColumn<QString>("frame");
        const CharacterTable def = uniformTable("10010010");
        QTest::newRow("default patterns, low dots lit")
            << def << QTime(1, 2, 3) << -1.0f
            << QString("10010011").repeated(3) + QString("10010010").repeated(3);
        QTest::newRow("default patterns, high dots lit")
            << def << QTime(1, 2, 3) << 1.0f
            << QString("10010010").repeated(3) + QString("10010011").repeated(3);
        // Seconds units first, hours tens last; dot bits overwrite the eighth characters.
        QTest::newRow("12:34:56 reference wiring") << referenceTable() << QTime(12, 34, 56) << 1.0f
                                                   << "10111110"
                                                      "10110110"
                                                      "01100110"
                                                      "11110011"
                                                      "11011011"
                                                      "01100001";
        QTest::newRow("a lit last character is cleared")
            << uniformTable("11111111") << QTime(0, 0, 0) << -1.0f
            << QString("11111111").repeated(3) + QString("11111110").repeated(3);
        QTest::newRow("short pattern keeps 48 characters")
            << uniformTable("101") << QTime(0, 0, 0) << 1.0f
            << QString("10100000").repeated(3) + QString("10100001").repeated(3);
        QTest::newRow("empty pattern keeps 48 characters")
            << uniformTable("") << QTime(0, 0, 0) << -1.0f
            << QString("00000001").repeated(3) + QString("00000000").repeated(3);
    }
    void frame()
    {
        QFETCH(CharacterTable, table);
        QFETCH(QTime, time);
        QFETCH(float, blink);
        QFETCH(QString, frame);
        const QString got = buildFrame(table, stateAt(time, blink));
        QCOMPARE(got.size(), FrameLength);
        QCOMPARE(got, frame);
    }

    void frameRefusesFieldsThatAreNotOneDigit_data()
    {
        QTest::addColumn<QString>("field");
        QTest::newRow("empty") << "";
        QTest::newRow("two characters") << "12";
        QTest::newRow("letter") << "x";
        QTest::newRow("minus") << "-";
        QTest::newRow("arabic-indic digit") << QString(QChar(0x0663));
    }
    void frameRefusesFieldsThatAreNotOneDigit()
    {
        QFETCH(QString, field);
        ClockState s = stateAt(QTime(1, 2, 3), 1.0f);
        s.MinuteUnits = field;
        QVERIFY(buildFrame(uniformTable("10010010"), s).isEmpty());
    }

    void labelText()
    {
        const QString frame = QString("10010011").repeated(3) + QString("10010010").repeated(3);
        QCOMPARE(frameLabelText(frame),
                 QString("100100111001001110010011 100100101001001010010010"));
    }

    void marker_data()
    {
        QTest::addColumn<int>("second");
        QTest::addColumn<int>("left");
        QTest::newRow("0") << 0 << 120;
        QTest::newRow("30") << 30 << 1950;
        QTest::newRow("59") << 59 << 3719;
    }
    void marker()
    {
        QFETCH(int, second);
        QFETCH(int, left);
        QCOMPARE(markerLeft(second), left);
    }

    void pictureNamesFollowDigitsAndBlink()
    {
        const auto names = pictureNames(stateAt(QTime(9, 5, 7), -1.0f));
        const std::array<QString, 7> expected = {"data/0.gif",  "data/9.gif",  "data/0.gif",
                                                 "data/5.gif",  "data/s0.gif", "data/s7.gif",
                                                 "data/d-1.gif"};
        QCOMPARE(names, expected);
        QCOMPARE(pictureNames(stateAt(QTime(9, 5, 7), 1.0f))[6], QString("data/d1.gif"));
    }
};

QTEST_APPLESS_MAIN(TestFrame)
#include "tst_frame.moc"
