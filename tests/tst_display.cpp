// The display without a window: frames on an injected clock over recording lines, the port
// choice, no port and then one, a lost port, the wiring test; and the built tikvor-display on a
// pseudo-terminal, stopped by SIGTERM in the middle of a frame.

#include "displayconsole.h"

#include "lineshim/testpty.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <csignal>

using namespace tikvor;

namespace {

// Which ports open (bit n-1 for COMn), and every line call as "D1", "T0", ... since the last take.
class Lines : public SerialLines {
public:
    std::atomic<unsigned> working = 0b00010;
    std::atomic<bool> unplugged = false;
    int OpenPort(const QString& mode) override
    {
        const int n = mode.mid(3, 1).toInt();
        return ((working >> (n - 1)) & 1u) && !unplugged ? n : 0;
    }
    bool DTR(int level) override { return record('D', level); }
    bool TXD(int level) override { return record('T', level); }
    // Whole frames seen since the last call, as the text the clock built.
    QStringList takeFrames()
    {
        QMutexLocker lock(&m_mutex);
        QStringList frames;
        QString bits;
        for (qsizetype i = 0; i + 1 < m_calls.size(); i += 2) {
            if (m_calls[i] == u'T')
                bits.prepend(m_calls[i + 1]);
            if (bits.size() == 48)
                frames << std::exchange(bits, {});
        }
        m_calls.clear();
        return frames;
    }

private:
    bool record(char line, int level)
    {
        QMutexLocker lock(&m_mutex);
        if (unplugged)
            return false;
        m_calls += QLatin1Char(line) + QString::number(level);
        return true;
    }
    QMutex m_mutex;
    QString m_calls;
};

// Sample wiring (data/Data.ini): the seven segments of each digit, then its dot.
const QStringList Patterns = {"1111110", "0110000", "1101101", "1111001", "0110011",
                              "1011011", "1011111", "1110000", "1111111", "1111011"};

// "HH:MM:SS" and the dots of a frame, "?" for a group that is no digit.
QString shown(const QString& frame)
{
    QString digits;
    for (int group = 5; group >= 0; --group) {
        const int d = int(Patterns.indexOf(frame.mid(8 * group, 7)));
        digits += d < 0 ? QChar(u'?') : QChar(u'0' + d);
        if (group == 4 || group == 2)
            digits += u':';
    }
    QString dots;
    for (int group = 0; group < 6; ++group)
        dots += frame[8 * group + 7];
    return digits + u' ' + dots;
}

struct Rig {
    QTemporaryDir folder;
    Lines lines;
    std::atomic<qint64> wall = QDateTime(QDate(2026, 12, 7), QTime(9, 5, 7, 300)).toMSecsSinceEpoch();
    std::atomic<qint64> steady = 0;
    QStringList errors, output;
    std::unique_ptr<DisplayConsole> console;

    explicit Rig(std::optional<int> port = {}, bool wiringTest = false)
    {
        QFile::copy(TIKVOR_SOURCE_DIR "/data/Data.ini", folder.filePath("Data.ini"));
        LinkOptions options;
        options.programFolder = folder.path();
        options.policy = PortPolicy::Retry;
        options.onlyPort = port;
        options.wiringTest = wiringTest;
        options.lines = &lines;
        options.wallClock = [this] { return wall.load(); };
        options.lineClock = [this] { return steady.load(); };
        console = std::make_unique<DisplayConsole>(
            options, [this](const QString& text) { errors << text; },
            [this](const QString& text) { output << text; });
    }
    DisplayLink& link() { return console->link(); }
    void settle()
    {
        QVERIFY(link().lineSender()->waitIdle(5000));
        QCoreApplication::sendPostedEvents(&link(), QEvent::MetaCall);
    }
    void start()
    {
        console->start();
        settle();
    }
    // The next second: the clocks move on and the timer fires as it would.
    void second()
    {
        wall += 1000;
        steady += 1000;
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
        rig.lines.unplugged = false;
        rig.second();
        QCOMPARE(rig.lines.takeFrames().size(), 1);
        QCOMPARE(rig.errors.last(), QString("Tikvor: COM2: frames flow again"));
    }

    void wiringTestLightsEachBitInShiftOrder()
    {
        Rig rig({}, true);
        bool finished = false;
        connect(&rig.link(), &DisplayLink::wiringDone, this, [&] { finished = true; });
        rig.start();
        QVERIFY(rig.lines.takeFrames().isEmpty()); // no time is shown
        for (int step = 1; step <= 49 && !finished; ++step)
            rig.second();
        QVERIFY(!finished);
        rig.second();
        QVERIFY(finished);
        const QStringList frames = rig.lines.takeFrames();
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

    // The built program on a pseudo-terminal whose line changes take 2 ms each, so a frame takes
    // about 0.3 s: a signal in its middle lets it finish, rests the lines and ends with status 0.
    void signalMidFrameEndsAtRest_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void signalMidFrameEndsAtRest()
    {
        QFETCH(int, signal);
        TestPty pty;
        QVERIFY(!pty.slave.isEmpty());
        QTemporaryDir dir;
        const QString program = dir.filePath("tikvor-display");
        QVERIFY(QFile::copy(TIKVOR_DISPLAY, program));
        QFile::setPermissions(program, QFile::permissions(TIKVOR_DISPLAY));
        QFile sample(TIKVOR_SOURCE_DIR "/data/Data.ini");
        QVERIFY(sample.open(QIODevice::ReadOnly));
        QByteArray ini = sample.readAll();
        QByteArray ports = "[Porty]\nCOM2=" + pty.slave.toLocal8Bit();
        for (const char* n : {"1", "3", "4", "5"}) // never a real device, whatever happens
            ports += QByteArray("\nCOM") + n + "=" + dir.filePath("none").toLocal8Bit();
        ini.replace("[Porty]", ports);
        QFile out(dir.filePath("Data.ini"));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(ini);
        out.close();

        const QString trace = dir.filePath("trace");
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LD_PRELOAD", TIKVOR_LINESHIM);
        env.insert("LINESHIM_TRACE", trace);
        env.insert("LINESHIM_DELAY_US", "2000");
        env.insert("ASAN_OPTIONS", "verify_asan_link_order=0");
        process.setProcessEnvironment(env);
        process.start(program, {});
        QVERIFY(process.waitForStarted());
        const auto changes = [&] {
            QFile f(trace);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        QTRY_VERIFY_WITH_TIMEOUT(changes().count('D') >= 10, 10000); // well into the first frame
        QVERIFY(changes().count('D') < 48);
        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QVERIFY2(process.exitCode() == 0, process.readAllStandardError().right(3000).constData());
        const QByteArray all = changes();
        QCOMPARE(all.count('D'), 48); // that frame whole, no other
        QVERIFY2(all.endsWith("db") || all.endsWith("d"), all.right(8).constData());
        QVERIFY(all.lastIndexOf('B') < all.lastIndexOf('b') || !all.contains('B'));
    }
};

QTEST_GUILESS_MAIN(TestDisplay)
#include "tst_display.moc"
