// The built program as a user runs it: started from its own folder whose
// Data.ini puts COM2 on a pseudo-terminal (given modem lines by the preloaded
// shim) and every other port on a missing path. The shim writes each line
// change to a trace file, which is decoded here as the display would read it.

#include "lineshim/testpty.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace tikvor;

namespace {

// Bits as the display latches them: the data level when DTR falls.
QString decode(const QByteArray& trace)
{
    QString bits;
    bool dtr = false;
    bool breakOn = false;
    for (char c : trace) {
        if (c == 'B' || c == 'b')
            breakOn = c == 'B';
        else if (c == 'D')
            dtr = true;
        else if (c == 'd') {
            if (dtr)
                bits += breakOn ? u'1' : u'0';
            dtr = false;
        }
    }
    return bits;
}

const QStringList Patterns = {"11111100", "01100000", "11011010", "11110010", "01100110",
                              "10110110", "10111110", "11100000", "11111110", "11110110"};

int digitOf(const QString& group)
{
    for (int d = 0; d < 10; ++d)
        if (Patterns[d].left(7) == group.left(7))
            return d;
    return -1;
}

} // namespace

class TestProgram : public QObject {
    Q_OBJECT
private slots:
    void sendsFramesOnTheMappedPort()
    {
        TestPty pty;
        QVERIFY(!pty.slave.isEmpty());
        QTemporaryDir dir;
        const QString program = dir.filePath("Tikvor_1");
        QVERIFY(QFile::copy(TIKVOR_PROGRAM, program));
        QFile::setPermissions(program, QFile::permissions(TIKVOR_PROGRAM));
        QDir(dir.path()).mkdir("data");
        const QDir data(TIKVOR_SOURCE_DIR "/data");
        for (const QString& name : data.entryList({"*.gif"}, QDir::Files))
            QVERIFY(QFile::copy(data.filePath(name), dir.filePath("data/" + name)));
        QFile ini(dir.filePath("Data.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        QByteArray text;
        QFile sample(data.filePath("Data.ini"));
        QVERIFY(sample.open(QIODevice::ReadOnly));
        text = sample.readAll();
        text.replace("[Porty]", "[Porty]\r\nCOM1=" + dir.filePath("no-such-port").toLocal8Bit()
                                    + "\r\nCOM2=" + pty.slave.toLocal8Bit() + "\r\nCOM3="
                                    + dir.filePath("none3").toLocal8Bit() + "\r\nCOM4="
                                    + dir.filePath("none4").toLocal8Bit() + "\r\nCOM5="
                                    + dir.filePath("none5").toLocal8Bit());
        ini.write(text);
        ini.close();

        const QString tracePath = dir.filePath("trace");
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LD_PRELOAD", TIKVOR_LINESHIM);
        env.insert("LINESHIM_TRACE", tracePath);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("ASAN_OPTIONS", "verify_asan_link_order=0");
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(QDir::rootPath()); // the folder of the program counts, not this
        process.start(program, {});
        QVERIFY(process.waitForStarted());

        // The first frame goes out during start-up, before the first timer tick.
        QString bits;
        QElapsedTimer waited;
        waited.start();
        while (bits.size() < 48 && waited.elapsed() < 20000) {
            process.waitForFinished(50);
            QFile trace(tracePath);
            if (trace.open(QIODevice::ReadOnly))
                bits = decode(trace.readAll());
        }
        process.kill();
        process.waitForFinished();
        QVERIFY2(bits.size() >= 48, qPrintable(QString("only %1 bits").arg(bits.size())));

        // Sent last character first: the frame reads backwards.
        QString frame = bits.left(48);
        std::reverse(frame.begin(), frame.end());
        int digits[6];
        for (int g = 0; g < 6; ++g) {
            const QString group = frame.mid(8 * g, 8);
            digits[g] = digitOf(group);
            QVERIFY2(digits[g] >= 0, qPrintable(frame));
            // The start-up frame lights the dots of the seconds and the minutes units.
            QCOMPARE(group.at(7), g < 3 ? u'1' : u'0');
        }
        QVERIFY(digits[1] <= 5 && digits[3] <= 5 && digits[5] * 10 + digits[4] <= 23);
    }
};

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
