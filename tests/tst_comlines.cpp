#include "port/comlines.h"

#include "lineshim/testpty.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/file.h>
#include <sys/fsuid.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace tikvor {

// Keeps embedded NUL bytes, which bad input is made of.
template <std::size_t N> QByteArray bytes(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

class TestComLines : public QObject {
    Q_OBJECT

private slots:
    void parseMode_data();
    void parseMode();
    void portMapFromIni_data();
    void portMapFromIni();
    void openRefused_data();
    void openRefused();
    void systemConsole_data();
    void systemConsole();
};

void TestComLines::parseMode_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("number"); // 0: must not parse
    QTest::addColumn<int>("baud");
    QTest::addColumn<char>("parity");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("stopBits");

    QTest::newRow("plain") << "COM1,1200,N,8,1" << 1 << 1200 << 'N' << 8 << 1;
    QTest::newRow("lower case") << "com5,9600,e,7,2" << 5 << 9600 << 'E' << 7 << 2;
    QTest::newRow("blanks around fields")
        << " COM3 ,\t115200 , O ,5 , 1 " << 3 << 115200 << 'O' << 5 << 1;
    QTest::newRow("slowest") << "COM2,110,n,6,1" << 2 << 110 << 'N' << 6 << 1;
    const char* bad[] = {"",
                         "COM1",
                         "COM1,1200,N,8",
                         "COM1,1200,N,8,1,",
                         "COM0,1200,N,8,1",
                         "COM6,1200,N,8,1",
                         "COM,1200,N,8,1",
                         "COM-1,1200,N,8,1",
                         "COM+1,1200,N,8,1",
                         "COM 1,1200,N,8,1",
                         "LPT1,1200,N,8,1",
                         "COM1,,N,8,1",
                         "COM1,0,N,8,1",
                         "COM1,-1200,N,8,1",
                         "COM1,1201,N,8,1",
                         "COM1,14400,N,8,1",
                         "COM1,1200.0,N,8,1",
                         "COM1,99999999999999999999,N,8,1",
                         "COM1,1200,M,8,1",
                         "COM1,1200,NO,8,1",
                         "COM1,1200,,8,1",
                         "COM1,1200,N,4,1",
                         "COM1,1200,N,9,1",
                         "COM1,1200,N,8,0",
                         "COM1,1200,N,8,1.5",
                         "COM1,1200,N,8,3",
                         "COM1;1200;N;8;1"};
    for (const char* mode : bad)
        QTest::newRow(qPrintable(QStringLiteral("bad: %1").arg(mode)))
            << QString::fromLatin1(mode) << 0 << 0 << '\0' << 0 << 0;
    QTest::newRow("bad: non-ASCII digit")
        << QString::fromUtf8("COM\u0661,1200,N,8,1") << 0 << 0 << '\0' << 0 << 0;
    QTest::newRow("bad: control bytes")
        << QString::fromLatin1("\x01\x7f\xc3,\xff,,,") << 0 << 0 << '\0' << 0 << 0;
}

void TestComLines::parseMode()
{
    QFETCH(QString, mode);
    QFETCH(int, number);
    const auto parsed = tikvor::parseMode(mode);
    QCOMPARE(parsed.has_value(), number != 0);
    if (!parsed)
        return;
    QCOMPARE(parsed->first, number);
    QTEST(parsed->second.baud, "baud");
    QTEST(parsed->second.parity, "parity");
    QTEST(parsed->second.dataBits, "dataBits");
    QTEST(parsed->second.stopBits, "stopBits");
}

void TestComLines::portMapFromIni_data()
{
    QTest::addColumn<QByteArray>("ini"); // null: no file at all
    QTest::addColumn<QStringList>("devices");
    QTest::addColumn<bool>("invertDTR");
    QTest::addColumn<bool>("invertTXD");

    const QStringList defaults{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS3",
                               "/dev/ttyS4"};
    QStringList mapped = defaults;
    mapped[1] = "/dev/ttyUSB0";
    mapped[4] = "/dev/my port";
    QTest::newRow("no file") << QByteArray() << defaults << false << false;
    QTest::newRow("no section") << QByteArray("[Other]\nCOM1=/dev/x\nInvertDTR=1\n") << defaults
                                << false << false;
    QTest::newRow("mapping") << QByteArray("[Porty]\nCOM2 = /dev/ttyUSB0\nCOM5=\"/dev/my port\"\n")
                             << mapped << false << false;
    QTest::newRow("empty keeps default")
        << QByteArray("[Porty]\nCOM1=\nCOM2=  \n") << defaults << false << false;
    QTest::newRow("inversion") << QByteArray("[Porty]\nInvertDTR=1\nInvertTXD=1\n") << defaults
                               << true << true;
    QTest::newRow("inversion only on 1")
        << QByteArray("[Porty]\nInvertDTR=0\nInvertTXD=yes\n") << defaults << false << false;
    QTest::newRow("any case") << QByteArray("[porty]\r\ncom2=/dev/ttyUSB0\r\ncom5=/dev/my port\r\n"
                                            "invertdtr=1\r\n")
                              << mapped << true << false;
    QTest::newRow("garbage") << bytes("\xff\xfe[Porty\n\0COM1=\n=\nCOM9=/x\n[\n") << defaults
                             << false << false;
    QStringList relative = defaults;
    relative[1] = "%dir/links/com2";
    relative[2] = "COM7";
    relative[3] = "%dir/../com4";
    relative[4] = "Virtual";
    QTest::newRow("relative to the program folder")
        << QByteArray("[Porty]\nCOM2=links/com2\nCOM3=COM7\nCOM4=../com4\nCOM5=Virtual\n")
        << relative << false << false;
}

void TestComLines::portMapFromIni()
{
    QFETCH(QByteArray, ini);
    QTemporaryDir dir;
    const QString path = dir.filePath("Data.ini");
    if (!ini.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ini);
    }
    QFETCH(QStringList, devices);
    devices.replaceInStrings("%dir", dir.path());
    // The working directory plays no part.
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(QDir::tempPath()));
    const PortMap map = PortMap::fromIni(path);
    QDir::setCurrent(before);
    QCOMPARE(QStringList(map.devices.begin(), map.devices.end()), devices);
    QTEST(map.invertDTR, "invertDTR");
    QTEST(map.invertTXD, "invertTXD");
}

void TestComLines::openRefused_data()
{
    using Reason = PortRefusal::Reason;
    QTest::addColumn<QString>("device"); // relative names live in a temporary folder
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("other"); // what else holds or marks the device
    QTest::addColumn<int>("reason");    // -1: no device to refuse

    const QString mode = "COM1,1200,N,8,1";
    QTest::newRow("mode does not parse") << "pty"
                                         << "COM1,1200"
                                         << "" << -1;
    QTest::newRow("port not mapped") << "" << mode << "" << -1;
    QTest::newRow("missing") << "none" << mode << "" << int(Reason::Missing);
    QTest::newRow("folder") << "folder" << mode << "" << int(Reason::NotSerialLine);
    QTest::newRow("regular file") << "file" << mode << "" << int(Reason::NotSerialLine);
    QTest::newRow("fifo") << "fifo" << mode << "" << int(Reason::NotSerialLine);
    QTest::newRow("not a terminal") << "/dev/null" << mode << "" << int(Reason::NotSerialLine);
    // A pty has no modem lines: its slave and a fresh master both must be refused.
    QTest::newRow("pty slave") << "pty" << mode << "" << int(Reason::NoModemLines);
    QTest::newRow("pty master") << "/dev/ptmx" << mode << "" << int(Reason::NoModemLines);
    QTest::newRow("locked by another") << "pty" << mode << "flock" << int(Reason::Busy);
    QTest::newRow("exclusive to another") << "pty" << mode << "exclusive" << int(Reason::Busy);
    QTest::newRow("UUCP lock file") << "pty" << mode << "lock file" << int(Reason::Busy);
    QTest::newRow("stale UUCP lock file")
        << "pty" << mode << "stale lock file" << int(Reason::NoModemLines);
    QTest::newRow("system console") << "pty" << mode << "console" << int(Reason::SystemConsole);
    QTest::newRow("no permission")
        << "pty" << mode << "no permission" << int(Reason::PermissionDenied);
    QTest::newRow("no permission, the group may")
        << "pty" << mode << "group may" << int(Reason::PermissionDenied);
    QTest::newRow("no permission, the owner alone may")
        << "pty" << mode << "owner may" << int(Reason::PermissionDenied);
}

void TestComLines::openRefused()
{
    QFETCH(QString, device);
    QFETCH(QString, mode);
    QFETCH(QString, other);
    QFETCH(int, reason);
    // Our own pty lets its owner in.
    if (other == "owner may" && ::geteuid() != 0)
        QSKIP("needs root, to be another user than the owner");
    QTemporaryDir dir;
    const QByteArray content = "kept as it was\n";
    QVERIFY(QDir(dir.path()).mkdir("folder"));
    QFile file(dir.filePath("file"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    file.close();
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600), 0);
    TestPty pty;
    QVERIFY(!pty.slave.isEmpty());

    PortMap map;
    map.devices[0] = device == "pty"                              ? pty.slave
                     : device.isEmpty() || device.startsWith('/') ? device
                                                                  : dir.filePath(device);
    ComLines lines(map);
    lines.setRefusalListener({});
    lines.setLockFolders({dir.path()});
    const int holder = ::open(pty.slave.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    QVERIFY(holder >= 0);
    if (other == "flock")
        QCOMPARE(::flock(holder, LOCK_EX | LOCK_NB), 0);
    if (other == "exclusive")
        QCOMPARE(::ioctl(holder, TIOCEXCL), 0);
    // Our parent lives as long as we do; a pid past the kernel's limit never lives.
    const qint64 lockPid = other == "lock file" ? qint64(::getppid()) : qint64(1) << 30;
    if (other.endsWith("lock file")) {
        QFile lock(dir.filePath("LCK.." + pty.slave.mid(5).replace('/', '_')));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(lockPid).rightJustified(10) + '\n');
    }
    if (other == "console") {
        QFile consoles(dir.filePath("consoles"));
        QVERIFY(consoles.open(QIODevice::WriteOnly));
        consoles.write(QStringLiteral("pts -W- (E p a) %1:%2\n")
                           .arg(major(pty.rdev()))
                           .arg(minor(pty.rdev()))
                           .toLatin1());
        lines.setConsoleListPath(consoles.fileName());
    }
    // Root passes every permission check; file-system ids of nobody and nogroup do not.
    const bool denied = other == "no permission" || other.endsWith(" may");
    const bool dropped = denied && ::geteuid() == 0;
    const mode_t denying = other == "group may" ? 0660 : other == "owner may" ? 0600 : 0;
    if (denied)
        QCOMPARE(::chmod(pty.slave.toLocal8Bit().constData(), denying), 0);
    if (dropped) {
        ::setfsuid(65534);
        ::setfsgid(65534);
    }
    const int opened = lines.OpenPort(mode);
    if (dropped) {
        ::setfsuid(0);
        ::setfsgid(0);
    }
    ::ioctl(holder, TIOCNXCL);
    ::close(holder);

    QCOMPARE(opened, 0);
    QVERIFY(!lines.isOpen());
    QCOMPARE(lines.currentDevice(), QString());
    QVERIFY(!lines.DTR(1));
    QVERIFY(!lines.TXD(1));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), content);

    const auto refusal = lines.refusal(1);
    QCOMPARE(refusal.has_value(), reason >= 0);
    if (reason < 0)
        return;
    QCOMPARE(int(refusal->reason), reason);
    QCOMPARE(refusal->device, map.devices[0]);
    QCOMPARE(refusal->holderPid, other == "lock file" ? lockPid : 0);
    QCOMPARE(refusal->exclusiveByOther, other == "exclusive");
    // Joining the group is offered only where the mode lets the group in.
    QCOMPARE(refusal->group, other == "group may" ? QFileInfo(pty.slave).group() : QString());
    // Where no group would help, the only one who may.
    QCOMPARE(refusal->owner, other == "owner may" ? QFileInfo(pty.slave).owner() : QString());
    QVERIFY(!refusal->byPolicy);
}

void TestComLines::systemConsole_data()
{
    QTest::addColumn<QByteArray>("consoles");
    QTest::addColumn<unsigned>("major");
    QTest::addColumn<unsigned>("minor");
    QTest::addColumn<bool>("console");

    const QByteArray serial = "ttyS0                -W- (EC  p a)    4:64\n";
    QTest::newRow("listed") << serial << 4u << 64u << true;
    QTest::newRow("other minor") << serial << 4u << 65u << false;
    QTest::newRow("other major") << serial << 14u << 64u << false;
    QTest::newRow("longer major listed")
        << QByteArray("ttyX -W- (E) 14:64\n") << 4u << 64u << false;
    QTest::newRow("second line") << QByteArray("tty0 -WU (E p ) 4:1\nttyS1 -W- (E p a) 4:65") << 4u
                                 << 65u << true;
    QTest::newRow("CRLF and blanks")
        << QByteArray("ttyS0 -W- (EC p a) 4:64 \t\r\n") << 4u << 64u << true;
    QTest::newRow("console alias") << QByteArray() << 5u << 1u << true;
    QTest::newRow("tty alias") << QByteArray() << 5u << 0u << true;
    QTest::newRow("ptmx is no alias") << QByteArray() << 5u << 2u << false;
    QTest::newRow("empty list") << QByteArray() << 4u << 64u << false;
    QTest::newRow("garbage") << bytes("\xff\0:\n::\n4:\n:64\n4:64x\n4 :64\n") << 4u << 64u << false;
    QTest::newRow("overlong number") << QByteArray("x 4:4294967360\n") << 4u << 64u << false;
}

void TestComLines::systemConsole()
{
    QFETCH(QByteArray, consoles);
    QFETCH(unsigned, major);
    QFETCH(unsigned, minor);
    QTEST(isSystemConsole(major, minor, consoles), "console");
}

} // namespace tikvor

QTEST_GUILESS_MAIN(tikvor::TestComLines)
#include "tst_comlines.moc"
