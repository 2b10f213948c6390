// tikvor-display --wire: the dialogue over the link on an emulated display wired out of order,
// and the built program on a pseudo-terminal fed answers through a pipe.

#include "console/wireconsole.h"
#include "port/mappedports.h"

#include "clock/sendframe.h"
#include "display/displaytext.h"
#include "display/virtualdisplay.h"
#include "lineshim/testpty.h"
#include "startup/charactertable.h"
#include "support/programfolder.h"
#include "support/recordinglines.h"

#include <QMutex>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <bit>

using namespace tikvor;
using namespace tikvor::test;

class TestWireConsole : public QObject {
    Q_OBJECT
private slots:
    // The user looks at a display whose characters 1 to 8 drive g c a f b e d and the dot, and
    // names what lit; the section printed makes that display show the time.
    void sectionDrivesADisplayWiredOutOfOrder()
    {
        const Wiring wired{6, 2, 0, 5, 1, 4, 3, DotSegment};
        QTemporaryDir folder;
        QVERIFY(QFile::copy(TIKVOR_SOURCE_DIR "/data/Data.ini", folder.filePath("Data.ini")));
        PortMap map;
        map.devices[2] = "virtual";
        MappedPorts ports(map);
        VirtualDisplay& display = *ports.virtualDisplay(3);
        LinkOptions options;
        options.programFolder = folder.path();
        options.ports = PortPolicy::Retry;
        options.seams.lines = &ports;
        const auto look = [&]() -> std::optional<InputLine> {
            const quint8 lit = segmentsOf(display.bits(), wired)[0];
            return InputLine{QString("a b c d e f g dp").split(u' ').value(std::countr_zero(lit))};
        };
        QStringList prompts, output;
        int status = -1;
        WireConsole console(
            options, look, [&](const QString& text) { prompts << text; },
            [&](const QString& text) { output << text; });
        connect(&console.link(), &DisplayLink::stopped, this, [&](int s) { status = s; });
        console.start();
        QTRY_VERIFY_WITH_TIMEOUT(status >= 0, 10000);
        QCOMPARE(status, 0);
        QCOMPARE(prompts.first(), QString("Tikvor: COM3: frames go out on it"));

        QVERIFY(writeFile(folder.filePath("Data.ini"), (output.join('\n') + '\n').toLatin1()));
        ClockState s;
        s.HourTens = "0", s.HourUnits = "1", s.MinuteTens = "2", s.MinuteUnits = "3";
        s.SecondTens = "4", s.SecondUnits = "5";
        s.BlinkSign = 1.0f;
        s.FrameBits = buildFrame(LoadCharacterTable(folder.filePath("Data.ini")), s);
        SendFrame(s.FrameBits, display); // the line thread has finished: the lines are ours
        QCOMPARE(displayLine(segmentsOf(display.bits(), wired)).remove(u'.'), QString("012345"));
    }

    // However it ends, every frame went out whole and the lines are at rest; only the section
    // goes to standard output.
    void programEndsWithTheSectionOrTheReason_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("answers");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("frames");
        QTest::addColumn<QString>("said");   // on standard output when it succeeds, else on error
        QTest::addColumn<QString>("output"); // a file for standard output; none: a pipe
        QTest::newRow("permuted, one refused")
            << QStringList{"--wire"} << QByteArray("c\nb\nx\nb\na\r\nd\ne\nf\ng\ndp\n") << 0 << 8
            << "1=11000000"
            << "";
        QTest::newRow("answers end")
            << QStringList{"--wire"} << QByteArray("a\nb") << 1 << 3 << "before character 3"
            << "";
        QTest::newRow("--port names a missing port")
            << QStringList{"--wire", "--port", "COM2"} << QByteArray("a\n") << 1 << 0 << "CHYBA 02"
            << "";
        // The section is the product: standard output on a full disk fails it.
        QTest::newRow("section to a full disk")
            << QStringList{"--wire"} << QByteArray("a\nb\nc\nd\ne\nf\ng\ndp\n") << 1 << 8
            << "Tikvor: standard output: "
            << "/dev/full";
    }
    void programEndsWithTheSectionOrTheReason()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, answers);
        QFETCH(int, status);
        QFETCH(int, frames);
        QFETCH(QString, said);
        QFETCH(QString, output);
        TestPty pty;
        QVERIFY(!pty.slave.isEmpty());
        const ProgramCopy copy(TIKVOR_DISPLAY, 1, pty.slave);
        QVERIFY(copy.ok());
        const QString trace = copy.file("trace");
        QProcess process;
        process.setProcessEnvironment(copy.shimEnvironment(TIKVOR_LINESHIM));
        if (!output.isEmpty())
            process.setStandardOutputFile(output);
        process.start(copy.program, args);
        QVERIFY(process.waitForStarted());
        process.write(answers);
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished(10000));
        const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(process.readAllStandardError());
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QVERIFY2(process.exitCode() == status, qPrintable(err));
        if (status == 0) {
            QVERIFY2(out.startsWith("[Znaky]\n") && out.count(u'\n') == 11, qPrintable(out));
            QVERIFY2(out.contains(said + "\n"), qPrintable(out));
        } else {
            QVERIFY2(out.isEmpty(), qPrintable(out));
            QVERIFY2(err.contains(said), qPrintable(err));
        }
        QFile f(trace);
        const QByteArray line = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        QCOMPARE(int(line.count('D')), 48 * frames);
        QCOMPARE(traceBits(line).size(), 48 * frames);
        QVERIFY2(frames == 0 || line.endsWith("d") || line.endsWith("db"), line.right(8).data());
    }
};

QTEST_GUILESS_MAIN(TestWireConsole)
#include "tst_wireconsole.moc"
