// Finding a display's wiring from the answers a user gives, and the table it yields.

#include "clock/frame.h"
#include "clock/sendframe.h"
#include "port/displaytext.h"
#include "port/virtualdisplay.h"
#include "port/wiring.h"
#include "startup/charactertable.h"

#include <QTemporaryDir>
#include <QTest>

using namespace tikvor;

class TestWiring : public QObject {
    Q_OBJECT
private slots:
    void eachStepLightsOneCharacterEverywhere()
    {
        WiringSession session;
        VirtualDisplay display(1);
        display.OpenPort("COM1,1200,N,8,1");
        for (int step = 1; step <= PatternLength; ++step) {
            ClockState s;
            s.FrameBits = session.frame();
            SendFrame(s, display);
            const quint8 one = quint8(1u << (step - 1)); // reference wiring: character k = segment k
            for (quint8 shown : segmentsOf(display.bits()))
                QCOMPARE(shown, one);
            session.answer(step == PatternLength ? "dp" : QString(QChar(u'a' + step - 1)));
        }
    }

    // The user's display is wired as the answers say; the table found must drive it right.
    void answers_data()
    {
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QString>("outcome"); // the replies, one letter each: N, A(gain), D, F
        QTest::addColumn<QString>("named");   // what the last message must name
        QTest::newRow("permuted") << QStringList{"g", " C ", "A", "f", "b", "E", "d", "dp"}
                                  << "NNNNNNND" << "";
        QTest::newRow("no dot wired") << QStringList{"b", "a", "c", "d", "e", "f", "g", ""}
                                      << "NNNNNNND" << "";
        QTest::newRow("twice, unknown, missing")
            << QStringList{"a", "a", "h", "b", "", "c", "d", "e", "f", "dp"} << "NAANNNNNNF"
            << "g";
        QTest::newRow("segment on the dot") << QStringList{"dp", "a", "b", "c", "d", "e", "f", "g"}
                                            << "NNNNNNNF" << "g";
    }
    void answers()
    {
        QFETCH(QStringList, answers);
        QFETCH(QString, outcome);
        QFETCH(QString, named);
        WiringSession session;
        QString replies;
        QString last;
        for (const QString& a : answers) {
            const auto reply = session.answer(a);
            replies += QString("NADF").at(int(reply.outcome));
            last = reply.message;
        }
        QCOMPARE(replies, outcome);
        if (!named.isEmpty()) {
            QVERIFY2(last.contains(QString(" %1").arg(named)), qPrintable(last));
            return;
        }
        // Paste the section into a Data.ini and drive a display wired that way.
        QTemporaryDir dir;
        QFile ini(dir.filePath("Data.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(session.section().toLatin1());
        ini.close();
        Wiring wired{};
        for (int c = 0; c < PatternLength; ++c) {
            const QString a = answers[c].trimmed().toLower();
            wired[size_t(c)] = a == "dp" ? DotSegment : a.isEmpty() ? -1 : a[0].unicode() - 'a';
        }
        VirtualDisplay display(1);
        display.OpenPort("COM1,1200,N,8,1");
        for (const QString digits : {"012345", "678901"}) {
            ClockState s;
            QString* fields[6] = {&s.HourTens,   &s.HourUnits,  &s.MinuteTens,
                                  &s.MinuteUnits, &s.SecondTens, &s.SecondUnits};
            for (int i = 0; i < 6; ++i)
                *fields[i] = digits.mid(i, 1);
            s.BlinkSign = 1.0f;
            s.FrameBits = buildFrame(LoadCharacterTable(ini.fileName()), s);
            SendFrame(s, display);
            QString shown = displayLine(segmentsOf(display.bits(), wired));
            shown.remove(u'.');
            QCOMPARE(shown, digits);
        }
    }
};

QTEST_GUILESS_MAIN(TestWiring)
#include "tst_wiring.moc"
