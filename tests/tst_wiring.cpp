// Finding a display's wiring from what the user sees lit, and the table it yields.

#include "clock/frame.h"
#include "clock/sendframe.h"
#include "console/wiring.h"
#include "display/displaytext.h"
#include "display/virtualdisplay.h"
#include "startup/charactertable.h"

#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <bit>

using namespace tikvor;

class TestWiring : public QObject {
    Q_OBJECT
private slots:
    // The user watches an emulated display wired as the row says (character k drives the
    // segment at place k: a-g, "." the dot, "-" nothing) and names what lit; the section found,
    // pasted into a Data.ini, must make that display show the time.
    void foundTableDrivesTheDisplay_data()
    {
        QTest::addColumn<QString>("wires");
        QTest::newRow("permuted") << "gcafbed.";
        QTest::newRow("no dot wired") << "bacdefg-";
    }
    void foundTableDrivesTheDisplay()
    {
        QFETCH(QString, wires);
        Wiring wired{};
        for (int c = 0; c < PatternLength; ++c)
            wired[size_t(c)] = int(QString("abcdefg.").indexOf(wires[c]));
        VirtualDisplay display(1);
        display.open();
        ClockState s;
        const auto send = [&](const QString& frame) {
            s.FrameBits = frame;
            SendFrame(s.FrameBits, display);
        };
        const auto look = [&]() -> std::optional<InputLine> {
            const DisplaySegments shown = segmentsOf(display.bits(), wired);
            if (!std::all_of(shown.begin(), shown.end(), [&](quint8 p) { return p == shown[0]; }))
                return std::nullopt; // the step lit different things: the user gives up
            const int lit = shown[0] ? std::countr_zero(shown[0]) : -1;
            return InputLine{QString("A B C D E F G DP").split(u' ').value(lit, " ")};
        };
        const WiringResult found = runWiring(send, look, [](const QString&) {});
        QVERIFY2(found.found, qPrintable(found.text));

        QTemporaryDir dir;
        QFile ini(dir.filePath("Data.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(found.text.toLatin1());
        ini.close();
        s.HourTens = "0", s.HourUnits = "1", s.MinuteTens = "2", s.MinuteUnits = "3";
        for (const QString seconds : {"45", "67", "89"}) {
            s.SecondTens = seconds.left(1), s.SecondUnits = seconds.right(1);
            s.BlinkSign = 1.0f;
            s.FrameBits = buildFrame(LoadCharacterTable(ini.fileName()), s);
            SendFrame(s.FrameBits, display);
            QString shown = displayLine(segmentsOf(display.bits(), wired));
            QCOMPARE(shown.remove(u'.'), "0123" + seconds);
        }
    }

    // Answers as typed, read line by line as from standard input.
    void faultyAnswers_data()
    {
        QTest::addColumn<QByteArray>("typed");
        QTest::addColumn<int>("refused");
        QTest::addColumn<QString>("named"); // what the reason for no section names
        QTest::addColumn<QString>("shown"); // in a refusal
        const QByteArray noG = "a\nb\n\nc\nd\ne\nf\ndp\n";
        QTest::newRow("twice, unknown, missing")
            << QByteArray("a\na\nh\nb\n\nc\nd\ne\nf\ndp\n") << 2 << "g"
            << "\"h\"";
        QTest::newRow("segment on the dot") << QByteArray("dp\na\nb\nc\nd\ne\nf\ng\n") << 0 << "g"
                                            << "";
        QTest::newRow("input ends") << QByteArray("a\nb") << 0 << "3"
                                    << "";
        QTest::newRow("nothing") << QByteArray("a\r\nNothing\r\nb\nc\nd\ne\nf\ndp\n") << 0 << "g"
                                 << "";
        QTest::newRow("control characters")
            << "\x1b]0;x\a" + QByteArray(1, '\0') + "\n" + noG << 1 << "g"
            << "\\x1b]0;x\\x07\\x00";
        QTest::newRow("over-long line") << QByteArray(1 << 20, 'a') + "\n" + noG << 1 << "g"
                                        << "too long";
    }
    void faultyAnswers()
    {
        QFETCH(QByteArray, typed);
        QFETCH(int, refused);
        QFETCH(QString, named);
        QFETCH(QString, shown);
        int frames = 0;
        QStringList said;
        qsizetype read = 0;
        const auto typedByte = [&](char& c) {
            if (read == typed.size())
                return false;
            c = typed[read++];
            return true;
        };
        const WiringResult found =
            runWiring([&](const QString&) { ++frames; },
                      [&]() -> std::optional<InputLine> {
                          const auto line = detail::takeLine(typedByte);
                          if (!line)
                              return std::nullopt;
                          return InputLine{QString::fromUtf8(line->bytes), line->cut};
                      },
                      [&](const QString& text) { said << text; });
        QVERIFY(!found.found && read == typed.size());
        QCOMPARE(said.size(), frames + refused); // one question a frame, then the refusals
        QVERIFY2(found.text.contains(" " + named), qPrintable(found.text));
        const QString all = said.join(u' ');
        QVERIFY2(all.contains(shown), qPrintable(all));
        QVERIFY(std::all_of(all.begin(), all.end(), [](QChar c) { return c.isPrint(); }));
    }
};

QTEST_GUILESS_MAIN(TestWiring)
#include "tst_wiring.moc"
