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
        const auto look = [&]() -> std::optional<QString> {
            const DisplaySegments shown = segmentsOf(display.bits(), wired);
            if (!std::all_of(shown.begin(), shown.end(), [&](quint8 p) { return p == shown[0]; }))
                return std::nullopt; // the step lit different things: the user gives up
            const int lit = shown[0] ? std::countr_zero(shown[0]) : -1;
            return QString("A B C D E F G DP").split(u' ').value(lit, " ");
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

    void faultyAnswers_data()
    {
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<int>("refused");
        QTest::addColumn<QString>("named"); // what the reason for no section names
        QTest::newRow("twice, unknown, missing")
            << QStringList{"a", "a", "h", "b", "", "c", "d", "e", "f", "dp"} << 2 << "g";
        QTest::newRow("segment on the dot")
            << QStringList{"dp", "a", "b", "c", "d", "e", "f", "g"} << 0 << "g";
        QTest::newRow("input ends") << QStringList{"a", "b"} << 0 << "3";
    }
    void faultyAnswers()
    {
        QFETCH(QStringList, answers);
        QFETCH(int, refused);
        QFETCH(QString, named);
        int frames = 0;
        QStringList said;
        const WiringResult found = runWiring(
            [&](const QString&) { ++frames; },
            [&]() { return answers.isEmpty() ? std::nullopt : std::optional(answers.takeFirst()); },
            [&](const QString& text) { said << text; });
        QVERIFY(!found.found && answers.isEmpty());
        QCOMPARE(said.size(), frames + refused); // one question a frame, then the refusals
        QVERIFY2(found.text.contains(" " + named), qPrintable(found.text));
    }
};

QTEST_GUILESS_MAIN(TestWiring)
#include "tst_wiring.moc"
