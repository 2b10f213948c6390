// The built program as a user runs it: started from its own folder whose
// Data.ini puts COM2 on a pseudo-terminal (given modem lines by the preloaded
// shim) and every other port on a missing path. The shim writes each line
// change to a trace file, which is decoded here as the display would read it.

#include "lineshim/testpty.h"
#include "support/patterns.h"
#include "support/programfolder.h"
#include "support/recordinglines.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <csignal>
#include <cstdio>

#include <sys/stat.h>
#include <unistd.h>

using namespace tikvor;
using namespace tikvor::test;

namespace {

// The program as installed with COM2 on the pty, started from another folder with the line
// shim lending the pty its modem lines.
struct InstalledProgram : ProgramCopy {
    int delayUs = 0;    // per line change
    QByteArray movedTo; // the folder, named in bytes, that the program and its files went into

    InstalledProgram(const QString& built, const QString& slave) : ProgramCopy(built, 2, slave) {}
    ~InstalledProgram()
    {
        // Back under a name that QTemporaryDir can remove.
        if (!movedTo.isEmpty())
            ::rename(movedTo.constData(), QFile::encodeName(file("moved")).constData());
    }

    // Into a folder named in bytes that need not be UTF-8, started through a link to it there:
    // the program finds its folder by the link's target.
    void moveInto(const QByteArray& name)
    {
        const QByteArray top = QFile::encodeName(dir.path()) + '/';
        movedTo = top + name;
        QCOMPARE(::mkdir(movedTo.constData(), 0700), 0);
        const QByteArray programName = QFile::encodeName(QFileInfo(program).fileName());
        for (const QByteArray& each : {programName, QByteArray("Data.ini"), QByteArray("data")})
            QCOMPARE(::rename(top + each, movedTo + '/' + each), 0);
        program = file("started");
        QCOMPARE(::symlink(name + '/' + programName, QFile::encodeName(program)), 0);
    }

    void start(QProcess& process, const QString& platform, const QString& display = {}) const
    {
        QProcessEnvironment env = shimEnvironment(TIKVOR_LINESHIM, delayUs);
        env.insert("QT_QPA_PLATFORM", platform);
        if (!display.isEmpty())
            env.insert("DISPLAY", display);
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(QDir::rootPath()); // the folder of the program counts, not this
        process.start(program, {});
        QVERIFY(process.waitForStarted());
    }

    QByteArray changes() const
    {
        QFile trace(file("trace"));
        return trace.open(QIODevice::ReadOnly) ? trace.readAll() : QByteArray();
    }
    QString bits() const { return traceBits(changes()); }
};

// Runs a tool and returns what it printed; empty when it failed.
QString output(const QString& tool, const QStringList& arguments, const QString& display)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display);
    p.setProcessEnvironment(env);
    p.start(tool, arguments);
    if (!p.waitForFinished(10000) || p.exitCode() != 0)
        return {};
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

// An X server of its own with a window manager, for the window as a desktop shows it.
struct VirtualDesktop {
    QString display;
    QProcess server;
    QProcess manager;

    bool start()
    {
        // The server picks a free display and names it once it accepts clients.
        server.start("Xvfb", {"-displayfd", "1", "-screen", "0", "640x480x24", "-nolisten", "tcp"});
        QElapsedTimer waited;
        waited.start();
        while (!server.canReadLine()) {
            if (waited.elapsed() > 10000 || server.state() == QProcess::NotRunning)
                return false;
            server.waitForReadyRead(200);
        }
        display = ':' + QString::fromLatin1(server.readLine()).trimmed();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        manager.setProcessEnvironment(env);
        manager.start("openbox", {});
        // The window manager announces itself on the root window.
        while (!output("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}, display).contains('#')) {
            if (waited.elapsed() > 10000)
                return false;
            QTest::qWait(50);
        }
        return true;
    }
    ~VirtualDesktop()
    {
        manager.kill();
        manager.waitForFinished();
        server.kill();
        server.waitForFinished();
    }
    QString xprop(const QString& window, const char* property) const
    {
        return output("xprop", {"-id", window, property}, display);
    }
};

} // namespace

class TestProgram : public QObject {
    Q_OBJECT
private slots:
    void sendsFramesOnTheMappedPort_data()
    {
        QTest::addColumn<QByteArray>("folder"); // moved into, by this name
        QTest::newRow("as installed") << QByteArray();
        QTest::newRow("Latin-2 folder name") << QByteArray("hodiny\xE8");
    }
    void sendsFramesOnTheMappedPort()
    {
        QFETCH(QByteArray, folder);
        TestPty pty;
        QVERIFY(!pty.slave.isEmpty());
        InstalledProgram installed(TIKVOR_PROGRAM, pty.slave);
        QVERIFY(installed.ok());
        if (!folder.isEmpty())
            installed.moveInto(folder);
        QProcess process;
        installed.start(process, "offscreen");

        // The first frame goes out during start-up, before the first timer tick.
        QString bits;
        QByteArray errors;
        const QByteArray refused = "none refused: no such device";
        QElapsedTimer waited;
        waited.start();
        while ((bits.size() < 48 || !errors.contains(refused)) && waited.elapsed() < 20000) {
            process.waitForFinished(50);
            bits = installed.bits();
            errors += process.readAllStandardError();
        }
        process.kill();
        process.waitForFinished();
        QVERIFY2(bits.size() >= 48, qPrintable(QString("only %1 bits").arg(bits.size())));
        // The ports that lead nowhere: why, in English, as tikvor-display says it.
        QVERIFY2(errors.contains(refused), errors.constData());

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

    // Every program says its name and version, also where there is no screen to show a window.
    void answersItsVersion_data()
    {
        QTest::addColumn<QString>("built");
        QTest::addColumn<QString>("name");
        QTest::newRow("Tikvor_1") << TIKVOR_PROGRAM << "Tikvor_1";
        QTest::newRow("Tikvor_0") << TIKVOR_PROGRAM_0 << "Tikvor_0";
        QTest::newRow("tikvor-display") << TIKVOR_DISPLAY << "tikvor-display";
    }
    void answersItsVersion()
    {
        QFETCH(QString, built);
        QFETCH(QString, name);
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* screen : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(screen);
        process.setProcessEnvironment(env);
        process.start(built, {"--version"});
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 0);
        const QString said = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
        QVERIFY2(QRegularExpression("^" + name + " \\d+\\.\\d+\\.\\d+$").match(said).hasMatch(),
                 qPrintable(said));

        // An answer that cannot be written is no success.
        process.setStandardOutputFile("/dev/full");
        process.start(built, {"--version"});
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 1);
        QVERIFY(process.readAllStandardError().contains("No space left"));
    }

    // Both programs as a desktop shows them: an ordinary window, Tikvor_0 without a taskbar
    // button even after minimise and restore, and closing either ends the program.
    void closingTheWindowEndsTheProgram_data()
    {
        QTest::addColumn<QString>("built");
        QTest::addColumn<bool>("skipsTaskbar");
        QTest::addColumn<QString>("menuEntry");
        QTest::newRow("Tikvor_1") << TIKVOR_PROGRAM << false << "example.krv_software.Tikvor";
        QTest::newRow("Tikvor_0") << TIKVOR_PROGRAM_0 << true << "example.krv_software.Tikvor0";
    }
    void closingTheWindowEndsTheProgram()
    {
        QFETCH(QString, built);
        QFETCH(bool, skipsTaskbar);
        QFETCH(QString, menuEntry);
        for (const char* tool : {"Xvfb", "openbox", "xprop", "xdotool", "wmctrl"}) {
            if (QStandardPaths::findExecutable(tool).isEmpty())
                QSKIP(qPrintable(QString("%1 is not installed").arg(tool)));
        }
        VirtualDesktop desktop;
        QVERIFY(desktop.start());
        TestPty pty;
        InstalledProgram installed(built, pty.slave);
        QVERIFY(installed.ok());
        QProcess process;
        installed.start(process, "xcb", desktop.display);

        QString window;
        QElapsedTimer waited;
        waited.start();
        while (window.isEmpty() && waited.elapsed() < 20000) {
            process.waitForFinished(50);
            window = output("xdotool", {"search", "--name", "^Tikvor - COM2$"}, desktop.display)
                         .section('\n', 0, 0);
        }
        QVERIFY2(!window.isEmpty(), "no window");
        QVERIFY(
            desktop.xprop(window, "_NET_WM_WINDOW_TYPE").endsWith("_NET_WM_WINDOW_TYPE_NORMAL"));
        // A dock ties the window to its menu entry by the class of WM_CLASS.
        QFile entry(QStringLiteral(TIKVOR_PACKAGING "/") + menuEntry + ".desktop");
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QString wmClass =
            QRegularExpression("^StartupWMClass=(.*)$", QRegularExpression::MultilineOption)
                .match(QString::fromUtf8(entry.readAll()))
                .captured(1);
        QVERIFY(desktop.xprop(window, "WM_CLASS").endsWith(", \"" + wmClass + "\""));
        const auto skips = [&] {
            return desktop.xprop(window, "_NET_WM_STATE").contains("_NET_WM_STATE_SKIP_TASKBAR");
        };
        QTRY_COMPARE_WITH_TIMEOUT(skips(), skipsTaskbar, 5000);
        output("xdotool", {"windowminimize", "--sync", window}, desktop.display);
        QTRY_VERIFY_WITH_TIMEOUT(
            desktop.xprop(window, "_NET_WM_STATE").contains("_NET_WM_STATE_HIDDEN"), 5000);
        output("wmctrl", {"-i", "-a", window}, desktop.display);
        QTRY_VERIFY_WITH_TIMEOUT(
            !desktop.xprop(window, "_NET_WM_STATE").contains("_NET_WM_STATE_HIDDEN"), 5000);
        QTest::qWait(200);
        QCOMPARE(skips(), skipsTaskbar);

        output("wmctrl", {"-i", "-c", window}, desktop.display);
        QVERIFY2(process.waitForFinished(5000), "still running after its window was closed");
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QVERIFY2(process.exitCode() == 0, process.readAllStandardError().right(3000).constData());
        // Whole frames only: the one in progress was finished, none was started after.
        const QString bits = installed.bits();
        QVERIFY(bits.size() >= 48);
        QCOMPARE(bits.size() % 48, 0);
    }

    // Every way of ending the program, on a line of 2 ms per change (a frame takes about 0.3 s),
    // in the middle of a frame: that frame ends whole, none follows, the lines are at rest (DTR
    // released, break off) and the status is 0; a missing picture ends with 3 and no frame.
    void everyEndLeavesAWholeFrameAndTheLinesAtRest_data()
    {
        QTest::addColumn<QString>("end"); // SIGTERM, or how the window goes
        QTest::addColumn<int>("status");
        // SIGINT and SIGHUP go to the same handler as SIGTERM. Qt's X11 plugin ends the program
        // itself when the server goes, asking for status 1.
        for (const char* end : {"SIGTERM", "windowclose", "X server gone"})
            QTest::newRow(end) << end << 0;
        QTest::newRow("ERROR 03") << "ERROR 03" << 3;
    }
    void everyEndLeavesAWholeFrameAndTheLinesAtRest()
    {
        QFETCH(QString, end);
        QFETCH(int, status);
        const bool x11 = end == "windowclose" || end == "X server gone" || status == 3;
        VirtualDesktop desktop;
        if (x11) {
            for (const char* tool : {"Xvfb", "openbox", "xprop", "xdotool"}) {
                if (QStandardPaths::findExecutable(tool).isEmpty())
                    QSKIP(qPrintable(QString("%1 is not installed").arg(tool)));
            }
            QVERIFY(desktop.start());
        }
        TestPty pty;
        InstalledProgram installed(TIKVOR_PROGRAM, pty.slave);
        QVERIFY(installed.ok());
        installed.delayUs = 2000;
        if (status == 3)
            QVERIFY(QFile::remove(installed.file("data/s5.gif")));
        QProcess process;
        installed.start(process, x11 ? "xcb" : "offscreen", desktop.display);

        const auto windowNamed = [&](const QString& name) {
            QString window;
            QElapsedTimer waited;
            waited.start();
            while (window.isEmpty() && waited.elapsed() < 20000) {
                process.waitForFinished(50);
                window = output("xdotool", {"search", "--name", name}, desktop.display)
                             .section('\n', 0, 0);
            }
            return window;
        };
        if (status == 3) {
            // The box is answered as a user would.
            const QString box = windowNamed("^ERROR 03$");
            QVERIFY2(!box.isEmpty(), "no box");
            output("xdotool", {"key", "--window", box, "Return"}, desktop.display);
        } else {
            // Well inside a frame.
            QTRY_VERIFY_WITH_TIMEOUT(installed.changes().count('D') % 48 >= 8 &&
                                         installed.changes().count('D') % 48 <= 24,
                                     20000);
            if (end == "X server gone") {
                desktop.server.kill();
            } else if (x11) {
                const QString window = windowNamed("^Tikvor - COM2$");
                QVERIFY2(!window.isEmpty(), "no window");
                output("xdotool", {"windowclose", window}, desktop.display);
            } else {
                ::kill(pid_t(process.processId()), SIGTERM);
            }
        }
        QVERIFY2(process.waitForFinished(10000), "still running");
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QVERIFY2(process.exitCode() == status,
                 process.readAllStandardError().right(3000).constData());
        const QByteArray all = installed.changes();
        QCOMPARE(all.count('D') % 48, 0);
        QCOMPARE(all.count('D') > 0, status != 3);
        if (status != 3) {
            QVERIFY2(all.endsWith("db") || all.endsWith('d'), all.right(8).constData());
            QVERIFY(all.lastIndexOf('B') < all.lastIndexOf('b') || !all.contains('B'));
        }
    }
};

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
