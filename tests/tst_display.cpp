// The display without a window: frames on an injected clock over recording lines, the port
// choice, no port and then one, a lost port, the wiring test; and the built tikvor-display on a
// pseudo-terminal, hung up in the middle of a frame.

#include "console/displayconsole.h"

#include "lineshim/testpty.h"
#include "support/linkrig.h"
#include "support/patterns.h"
#include "support/programfolder.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <csignal>

using namespace tikvor;
using namespace tikvor::test;

namespace {

struct Rig final : LinkRig {
    QStringList errors, output;
    std::unique_ptr<DisplayConsole> console;

    explicit Rig(std::optional<int> port = {}, bool wiringTest = false)
    {
        wall = QDateTime(QDate(2026, 12, 7), QTime(9, 5, 7, 300)).toMSecsSinceEpoch();
        lines.working = 0b00010;
        LinkOptions o = options(PortPolicy::Retry);
        o.onlyPort = port;
        console = std::make_unique<DisplayConsole>(
            o, wiringTest ? DisplayConsole::Mode::WiringTest : DisplayConsole::Mode::Time,
            [this](const QString& text) { errors << text; },
            [this](const QString& text) { output << text; });
    }
    DisplayLink& link() override { return console->link(); }
    void start()
    {
        console->start();
        settle();
    }
    // The next second: the clocks move on, the frame sent ahead for it goes out, and the timer
    // fires as it would.
    void second()
    {
        wall += 1000;
        steady += 1000;
        settle();
        link().timer().fire();
        settle();
    }
};

} // namespace

class TestDisplay : public QObject {
    Q_OBJECT
private slots:
    void framesShowTheTimeOncePerSecond_data()
    {
        QTest::addColumn<unsigned>("working");
        QTest::addColumn<int>("asked");
        QTest::addColumn<QString>("expected");
        QTest::newRow("first that opens") << 0b01010u << 0 << "COM2";
        QTest::newRow("--port COM4") << 0b01010u << 4 << "COM4";
    }
    void framesShowTheTimeOncePerSecond()
    {
        QFETCH(unsigned, working);
        QFETCH(int, asked);
        QFETCH(QString, expected);
        Rig rig(asked ? std::optional<int>(asked) : std::nullopt);
        rig.lines.working = working;
        rig.start();
        rig.second();
        rig.second();
        // As the window: the start-up frame, then one a second, the dots alternating.
        const QStringList frames = rig.lines.takeFrames();
        QStringList times;
        for (const QString& f : frames)
            times << shown(f);
        QCOMPARE(times, QStringList({"09:05:07 111000", "09:05:08 000111", "09:05:09 111000"}));
        QCOMPARE(rig.errors, QStringList{"Tikvor: " + expected + ": frames go out on it"});
    }

    void noPortAtFirstThenOne()
    {
        Rig rig;
        rig.lines.working = 0;
        rig.start();
        rig.second();
        rig.second();
        QVERIFY(rig.lines.takeFrames().isEmpty());
        QCOMPARE(rig.errors.size(), 2); // said once, not every second
        QVERIFY(rig.errors[0].startsWith("CHYBA 02: Nelze otevřít žádný port."));
        rig.lines.working = 0b00100;
        rig.second(); // tried at this tick; its frame waits for the try and goes to the port
        QCOMPARE(rig.lines.takeFrames().size(), 1);
        QCOMPARE(rig.errors.last(), QString("Tikvor: COM3: frames go out on it"));
    }

    void lostPortIsSaidOnceAndFoundAgain()
    {
        Rig rig;
        rig.start();
        rig.lines.takeFrames();
        rig.lines.unplugged = true;
        rig.second();
        rig.second();
        rig.second();
        QCOMPARE(rig.errors.mid(1),
                 QStringList{"Tikvor: COM2 lost (odpojeno); trying it again every second"});
        rig.lines.clear(); // the attempts on the unplugged line
        rig.lines.unplugged = false;
        rig.second();
        QCOMPARE(rig.lines.takeFrames().size(), 1);
        QCOMPARE(rig.errors.last(), QString("Tikvor: COM2: frames flow again"));
    }

    void wiringTestLightsEachBitInShiftOrder()
    {
        Rig rig({}, true);
        bool finished = false;
        connect(&rig.link(), &DisplayLink::stopping, this, [&] { finished = true; });
        rig.start();
        QVERIFY(rig.lines.takeFrames().isEmpty()); // no time is shown
        for (int step = 1; step <= 49 && !finished; ++step)
            rig.second();
        QVERIFY(!finished);
        // Taken before the end, whose lines at rest the line thread records when it gets to them.
        const QStringList frames = rig.lines.takeFrames();
        rig.second();
        QVERIFY(finished);
        QCOMPARE(frames.size(), 49);
        for (int step = 1; step <= 48; ++step) {
            // The lit bit is the step-th to leave the port: the frame's last character first.
            const QString& f = frames[step - 1];
            QCOMPARE(f.count(u'1'), 1);
            QCOMPARE(f.indexOf(u'1'), 48 - step);
        }
        QCOMPARE(frames[48], QString(48, u'1'));
        QCOMPARE(rig.output.first(), QString("bit 1 of 48: hours tens, dot"));
        QCOMPARE(rig.output[7], QString("bit 8 of 48: hours tens, segment a"));
        QCOMPARE(rig.output[47], QString("bit 48 of 48: seconds units, segment a"));
        QCOMPARE(rig.output.size(), 49);
    }

    // The built program on a port mapped to "virtual", its output a pipe: one line per frame,
    // what the emulated segments show, a second apart. A section added again further down the
    // Data.ini is said once on standard error.
    void virtualPortPrintsWhatItShows()
    {
        const ProgramCopy copy(TIKVOR_DISPLAY, 1, "virtual");
        QVERIFY(copy.ok());
        QFile ini(copy.file("Data.ini"));
        QVERIFY(ini.open(QIODevice::Append) && ini.write("\n[Porty]\nCOM1=/dev/null\n") > 0);
        ini.close();
        QProcess process;
        process.start(copy.program, {"--port", "COM1"});
        QVERIFY(process.waitForStarted());
        QByteArray out;
        // Whole frames only, one a second.
        QTRY_VERIFY_WITH_TIMEOUT((out += process.readAllStandardOutput()).count('\n') >= 2, 10000);
        process.terminate();
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(process.readAllStandardError().count("[Porty] appears more than once"), 1);
        const QList<QByteArray> lines = out.split('\n');
        QTime before;
        for (const QByteArray& line : lines.first(2)) {
            QVERIFY2(QRegularExpression("^([0-9]\\.?){6}$").match(line).hasMatch(), line);
            const QTime time = QTime::fromString(QString(line).remove('.'), "HHmmss");
            QVERIFY2(time.isValid(), line);
            if (before.isValid())
                QCOMPARE((before.secsTo(time) + 86400) % 86400, 1);
            before = time;
        }
    }

    // The built program on a pseudo-terminal whose line changes take 2 ms each, so a frame takes
    // about 0.3 s: a signal in its middle lets it finish, rests the lines and ends with status 0.
    // SIGHUP, as a terminal or ssh session closing sends it; SIGTERM and SIGINT share its handler.
    void hangUpMidFrameEndsAtRest()
    {
        TestPty pty;
        QVERIFY(!pty.slave.isEmpty());
        const ProgramCopy copy(TIKVOR_DISPLAY, 2, pty.slave);
        QVERIFY(copy.ok());
        const QString trace = copy.file("trace");
        QProcess process;
        process.setProcessEnvironment(copy.shimEnvironment(TIKVOR_LINESHIM, 2000));
        process.start(copy.program, {});
        QVERIFY(process.waitForStarted());
        const auto changes = [&] {
            QFile f(trace);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        QTRY_VERIFY_WITH_TIMEOUT(changes().count('D') >= 10, 10000); // well into the first frame
        QVERIFY(changes().count('D') < 48);
        ::kill(pid_t(process.processId()), SIGHUP);
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        const QByteArray errors = process.readAllStandardError();
        QVERIFY2(process.exitCode() == 0, errors.right(3000).constData());
        // COM1 leads nowhere: why, said once in English before COM2 was taken.
        QCOMPARE(errors.count("none refused: no such device"), 1);
        const QByteArray all = changes();
        QVERIFY2(all.count('D') == 48, all.constData()); // that frame whole, no other
        QVERIFY2(all.endsWith("db") || all.endsWith("d"), all.right(8).constData());
        QVERIFY(all.lastIndexOf('B') < all.lastIndexOf('b') || !all.contains('B'));
    }
};

QTEST_GUILESS_MAIN(TestDisplay)
#include "tst_display.moc"
