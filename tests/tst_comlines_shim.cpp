// Runs with lineshim preloaded, which gives pty slaves emulated modem lines and logs each line
// request, so what ComLines asks of a device can be checked call by call.

#include "port/comlines.h"
#include "port/mappedports.h"

#include "lineshim/lineshim.h"
#include "lineshim/testpty.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <cstdio>
#include <dlfcn.h>
#include <functional>
#include <memory>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

namespace tikvor {

namespace {

template <typename Fn> Fn shimFunction(const char* name)
{
    return reinterpret_cast<Fn>(dlsym(RTLD_DEFAULT, name));
}

const auto shimCalls = shimFunction<LineshimCallsFn>("lineshim_calls");
const auto shimClear = shimFunction<LineshimClearFn>("lineshim_clear");
const auto shimFail = shimFunction<LineshimFailFn>("lineshim_fail");
const auto shimFailFd = shimFunction<LineshimFailFdFn>("lineshim_fail_fd");
const auto shimSetLines = shimFunction<LineshimSetLinesFn>("lineshim_set_lines");
const auto shimLines = shimFunction<LineshimLinesFn>("lineshim_lines");
const auto shimTermios = shimFunction<LineshimTermiosFn>("lineshim_termios");

// The line requests logged since the last clear, as "MBIS MBIC SBRK ...". Each must have
// succeeded, carried only the DTR bit and hit `rdev`.
QString requests(unsigned long long rdev)
{
    LineshimCall calls[64];
    const int count = shimCalls(calls, 64);
    QStringList names;
    for (int i = 0; i < std::min(count, 64); ++i) {
        const LineshimCall& call = calls[i];
        const bool modem = call.request == TIOCMBIS || call.request == TIOCMBIC;
        const char* name = call.request == TIOCMBIS   ? "MBIS"
                           : call.request == TIOCMBIC ? "MBIC"
                           : call.request == TIOCSBRK ? "SBRK"
                           : call.request == TIOCCBRK ? "CBRK"
                                                      : "other";
        const bool clean =
            call.result == 0 && call.rdev == rdev && call.bits == (modem ? TIOCM_DTR : 0);
        names << (clean ? QString(name) : QStringLiteral("bad %1").arg(name));
    }
    if (count > 64)
        names << "overflow";
    shimClear();
    return names.join(' ');
}

// "dtr,break" as the shim holds them for the device.
QString lineState(unsigned long long rdev)
{
    int modem = 0, breakOn = 0;
    if (!shimLines(rdev, &modem, &breakOn))
        return "unknown";
    return QStringLiteral("%1,%2").arg((modem & TIOCM_DTR) != 0).arg(breakOn);
}

// The descriptors of this process that lead to the device.
QList<int> descriptors(unsigned long long rdev)
{
    QList<int> found;
    for (const QString& name : QDir("/proc/self/fd").entryList(QDir::Files | QDir::System)) {
        struct stat st {};
        if (fstat(name.toInt(), &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == rdev)
            found << name.toInt();
    }
    return found;
}

int openCount(unsigned long long rdev)
{
    return int(descriptors(rdev).size());
}

// What `action` writes to standard error.
// A clock read in pairs around each timing of break, the n-th taking pairsMs[n] (the last one
// repeated); counts its readings.
std::function<qint64()> timingClock(QList<int> pairsMs, int* readings)
{
    return [pairsMs, readings, now = qint64(1) << 40]() mutable {
        const int n = (*readings)++;
        if (n % 2 == 1)
            now += qint64(pairsMs[std::min(n / 2, int(pairsMs.size()) - 1)]) * 1'000'000;
        return now;
    };
}

// Gives the device node another modification time, as a device made again would have. Set
// rather than taken from the clock, whose coarse ticks could repeat the node's own.
bool touch(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0)
        return false;
    timespec times[2] = {{0, UTIME_OMIT}, st.st_mtim};
    times[1].tv_sec -= 1;
    return ::utimensat(AT_FDCWD, name.constData(), times, 0) == 0;
}

// Leaves what a port may inherit from its last user: hang-up on close, hardware handshake and
// modem control.
bool spoilSettings(const QString& device)
{
    const int fd = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    bool done = fd >= 0 && tcgetattr(fd, &tio) == 0;
    tio.c_cflag = (tio.c_cflag | HUPCL | CRTSCTS) & ~CLOCAL;
    done = done && tcsetattr(fd, TCSANOW, &tio) == 0;
    if (fd >= 0)
        ::close(fd);
    return done;
}

bool canOpen(const PortMap& map, const QString& mode)
{
    return ComLines(map).OpenPort(mode) != 0;
}

// What another program finds on the device: its settings, the exclusive flag and the lines.
QString foundState(int fd, unsigned long long rdev)
{
    termios tio{};
    int exclusive = -1;
    if (tcgetattr(fd, &tio) != 0 || ::ioctl(fd, TIOCGEXCL, &exclusive) != 0)
        return "unreadable";
    return QStringLiteral("iflag %1 oflag %2 cflag %3 lflag %4 cc %5 speed %6/%7 excl %8 lines %9")
        .arg(tio.c_iflag, 0, 16)
        .arg(tio.c_oflag, 0, 16)
        .arg(tio.c_cflag, 0, 16)
        .arg(tio.c_lflag, 0, 16)
        .arg(QByteArray(reinterpret_cast<const char*>(tio.c_cc), sizeof tio.c_cc).toHex())
        .arg(cfgetispeed(&tio))
        .arg(cfgetospeed(&tio))
        .arg(exclusive)
        .arg(lineState(rdev));
}

// A fresh pty mapped to COM5 and another program's view of it, with the lines as the kernel
// leaves them after an open (DTR and RTS up): `before` is what a port must get back when it is
// released.
struct WatchedPty {
    TestPty pty;
    PortMap map;
    int watcher = -1;
    QString before;

    explicit WatchedPty(const PortMap& others) : map(others)
    {
        map.devices[4] = pty.slave;
        watcher = ::open(pty.slave.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (watcher >= 0)
            shimSetLines(pty.rdev(), TIOCM_DTR | TIOCM_RTS, 0);
        before = state();
    }
    WatchedPty(const WatchedPty&) = delete;
    WatchedPty& operator=(const WatchedPty&) = delete;
    ~WatchedPty()
    {
        if (watcher >= 0)
            ::close(watcher);
    }

    QString state() const { return foundState(watcher, pty.rdev()); }
};

} // namespace

class TestComLinesShim : public QObject {
    Q_OBJECT

    TestPty a, b;
    PortMap map; // COM2 and COM4 lead to a, COM3 to b

private slots:
    void initTestCase();
    void init();
    void openSetsUpPort_data();
    void openSetsUpPort();
    void lineCalls_data();
    void lineCalls();
    void reopenSameDevice();
    void reapplyFails_data();
    void reapplyFails();
    void fakeBreak_data();
    void fakeBreak();
    void exclusive();
    void switchPorts();
    void releasedAsFound_data();
    void releasedAsFound();
    void breakTimedOncePerNode();
    void failedOpenKeepsPort_data();
    void failedOpenKeepsPort();
    void refusedLeftAsFound_data();
    void refusedLeftAsFound();
    void deviceFailure_data();
    void deviceFailure();
    void console_data();
    void console();
    void virtualDisplay_data();
    void virtualDisplay();
};

void TestComLinesShim::initTestCase()
{
    QVERIFY2(shimCalls && shimClear && shimFail && shimFailFd && shimSetLines && shimLines &&
                 shimTermios,
             "lineshim is not loaded: run with LD_PRELOAD=<path of liblineshim.so>");
    QVERIFY(!a.slave.isEmpty() && !b.slave.isEmpty());
    map.devices = {"/nonexistent/com1", a.slave, b.slave, a.slave, QString()};
}

void TestComLinesShim::init()
{
    shimFail(0);
    shimFailFd(-1);
    shimClear();
    map.invertDTR = map.invertTXD = false;
}

void TestComLinesShim::openSetsUpPort_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("invert");
    QTest::addColumn<speed_t>("speed");
    QTest::addColumn<tcflag_t>("framing");

    QTest::newRow("1200 8N1") << "COM2,1200,N,8,1" << false << speed_t(B1200) << tcflag_t(CS8);
    QTest::newRow("9600 7E2 inverted")
        << "com2, 9600, e, 7, 2" << true << speed_t(B9600) << tcflag_t(CS7 | PARENB | CSTOPB);
    QTest::newRow("115200 5O1") << "COM4,115200,O,5,1" << false << speed_t(B115200)
                                << tcflag_t(CS5 | PARENB | PARODD);
}

void TestComLinesShim::openSetsUpPort()
{
    QFETCH(QString, mode);
    QFETCH(bool, invert);
    QFETCH(speed_t, speed);
    QFETCH(tcflag_t, framing);
    shimSetLines(a.rdev(), TIOCM_DTR | TIOCM_RTS, 1);
    QVERIFY(spoilSettings(a.slave));
    map.invertDTR = map.invertTXD = invert;
    ComLines lines(map);
    QCOMPARE(lines.OpenPort(mode), parseMode(mode)->first);
    QCOMPARE(lines.currentDevice(), a.slave);
    // Rest is physical: inversion must not change it.
    QCOMPARE(lineState(a.rdev()), "0,0");

    termios tio{};
    QVERIFY(shimTermios(a.rdev(), &tio));
    QCOMPARE(cfgetospeed(&tio), speed);
    QCOMPARE(tio.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB), framing);
    QCOMPARE(tio.c_cflag & (CLOCAL | HUPCL | CRTSCTS), tcflag_t(CLOCAL));
}

void TestComLinesShim::lineCalls_data()
{
    QTest::addColumn<bool>("invertDTR");
    QTest::addColumn<bool>("invertTXD");
    QTest::addColumn<QString>("calls"); // D = DTR, T = TXD, then the level
    QTest::addColumn<QString>("requests");

    QTest::newRow("DTR 1") << false << false << "D1"
                           << "MBIS";
    QTest::newRow("DTR 0") << false << false << "D0"
                           << "MBIC";
    QTest::newRow("DTR every time") << false << false << "D1 D1 D0 D0"
                                    << "MBIS MBIS MBIC MBIC";
    QTest::newRow("DTR nonzero asserts") << false << false << "D2 D-1"
                                         << "MBIS MBIS";
    QTest::newRow("DTR inverted") << true << false << "D1 D0"
                                  << "MBIC MBIS";
    QTest::newRow("TXD on and off") << false << false << "T1 T0"
                                    << "SBRK CBRK";
    QTest::newRow("TXD at rest after open") << false << false << "T0"
                                            << "";
    QTest::newRow("TXD unchanged") << false << false << "T1 T1 T5 T0 T0"
                                   << "SBRK CBRK";
    QTest::newRow("TXD inverted") << false << true << "T1 T0 T0 T1"
                                  << "SBRK CBRK";
    QTest::newRow("DTR inversion spares TXD") << true << false << "T1"
                                              << "SBRK";
    QTest::newRow("TXD inversion spares DTR") << false << true << "D1"
                                              << "MBIS";
    QTest::newRow("frame") << false << false << "D1 T1 D0 D1 T1 D0 D1 T0 D0"
                           << "MBIS SBRK MBIC MBIS MBIC MBIS CBRK MBIC";
}

void TestComLinesShim::lineCalls()
{
    QFETCH(bool, invertDTR);
    QFETCH(bool, invertTXD);
    QFETCH(QString, calls);
    map.invertDTR = invertDTR;
    map.invertTXD = invertTXD;
    ComLines lines(map);
    QVERIFY(lines.OpenPort("COM2,1200,N,8,1"));
    shimClear();
    for (const QString& call : calls.split(' ')) {
        const int level = call.mid(1).toInt();
        QVERIFY(call[0] == 'D' ? lines.DTR(level) : lines.TXD(level));
    }
    QTEST(requests(a.rdev()), "requests");
}

void TestComLinesShim::reopenSameDevice()
{
    ComLines lines(map);
    QCOMPARE(lines.OpenPort("COM2,1200,N,8,1"), 2);
    QVERIFY(lines.DTR(1) && lines.TXD(1));
    // COM4 names the same device: it is reused, not refused as busy.
    for (const char* mode : {"COM2,9600,N,8,1", "COM4,1200,N,8,1"}) {
        QVERIFY(lines.OpenPort(mode));
        QCOMPARE(lineState(a.rdev()), "0,0");
        shimClear();
        // The re-open cleared break, so break must be set again.
        QVERIFY(lines.TXD(1));
        QCOMPARE(requests(a.rdev()), "SBRK");
    }
    QCOMPARE(openCount(a.rdev()), 1);
}

void TestComLinesShim::reapplyFails_data()
{
    QTest::addColumn<unsigned long>("failing"); // 0: only the handle held is dead

    QTest::newRow("device back at once") << 0ul;
    // Still away: the fresh open fails as well; it succeeds once the device is back.
    QTest::newRow("away, settings refused") << (unsigned long)TCSETS;
    QTest::newRow("away, DTR stuck") << (unsigned long)TIOCMBIC;
    QTest::newRow("away, break stuck") << (unsigned long)TIOCCBRK;
}

void TestComLinesShim::reapplyFails()
{
    QFETCH(unsigned long, failing);
    const QString mode = "COM2,1200,N,8,1";
    ComLines lines(map);
    QCOMPARE(lines.OpenPort(mode), 2);
    QVERIFY(lines.DTR(1) && lines.TXD(1));
    const QList<int> held = descriptors(a.rdev());
    QCOMPARE(held.size(), 1);
    shimFailFd(held[0]);
    shimFail(failing);
    if (failing != 0) {
        QCOMPARE(lines.OpenPort(mode), 0);
        QVERIFY(!lines.isOpen() && lines.currentDevice().isEmpty() && !lines.DTR(1));
        QCOMPARE(openCount(a.rdev()), 0);
        shimFail(0);
    }
    QCOMPARE(lines.OpenPort(mode), 2);
    QCOMPARE(lines.currentDevice(), a.slave);
    QCOMPARE(openCount(a.rdev()), 1);
    QCOMPARE(lineState(a.rdev()), "0,0");
    shimClear();
    QVERIFY(lines.DTR(1) && lines.TXD(1));
    QCOMPARE(requests(a.rdev()), "MBIS SBRK");
}

void TestComLinesShim::fakeBreak_data()
{
    QTest::addColumn<QList<int>>("pairsMs"); // what break on and off take together, try by try
    QTest::addColumn<double>("refusedMs");   // 0: the port opens

    QTest::newRow("5 ms") << QList<int>{5} << 0.0;
    QTest::newRow("20 ms") << QList<int>{20} << 0.0;
    QTest::newRow("25 ms") << QList<int>{25} << 25.0;
    QTest::newRow("slow once on a loaded machine") << QList<int>{29, 21, 5} << 0.0;
    QTest::newRow("best of three too slow") << QList<int>{400, 21, 30} << 21.0;
}

void TestComLinesShim::fakeBreak()
{
    QFETCH(QList<int>, pairsMs);
    QFETCH(double, refusedMs);
    const WatchedPty watched(map);
    QVERIFY(watched.watcher >= 0);
    const TestPty& pty = watched.pty;
    ComLines lines(watched.map);
    int readings = 0;
    lines.setClock(timingClock(pairsMs, &readings));
    const QString mode = "COM5,1200,N,8,1";
    QList<PortRefusal> said; // what the front ends are told, once for each device and reason
    lines.setRefusalListener([&](int, const PortRefusal& refusal) { said << refusal; });
    int opened = lines.OpenPort(mode);
    if (refusedMs == 0) {
        QCOMPARE(opened, 5);
        QVERIFY(said.isEmpty());
        QCOMPARE(lineState(pty.rdev()), "0,0");
        // The timing that passed is the line thread's first guess at a line change.
        QCOMPARE(lines.lineChangeUs(), std::optional<qint64>(pairsMs.last() * 500));
        return;
    }
    QCOMPARE(opened, 0);
    QVERIFY(!lines.isOpen());
    const auto refusal = lines.refusal(5);
    QVERIFY(refusal && refusal->reason == PortRefusal::Reason::FakesBreak);
    QCOMPARE(refusal->breakMs, refusedMs);
    QCOMPARE(said.size(), 1);
    QCOMPARE(said[0].breakMs, refusedMs);
    QCOMPARE(watched.state(), watched.before);
    QVERIFY2(canOpen(watched.map, mode), "the refusal must not keep the device");

    // A lasting refusal: not opened again, and not said again, until the node changes.
    shimClear();
    opened = lines.OpenPort(mode);
    QCOMPARE(opened, 0);
    QCOMPARE(requests(pty.rdev()), "");
    QCOMPARE(lines.refusal(5)->breakMs, refusedMs);
    QVERIFY(touch(pty.slave));
    readings = 0;
    opened = lines.OpenPort(mode);
    QCOMPARE(opened, 0);
    QVERIFY(readings > 0);
    QCOMPARE(said.size(), 1);
}

void TestComLinesShim::exclusive()
{
    const QString mode = "COM2,1200,N,8,1";
    {
        ComLines first(map);
        QVERIFY(first.OpenPort(mode));
        ComLines second(map);
        QCOMPARE(second.OpenPort(mode), 0);
        QVERIFY(!second.isOpen() && !second.DTR(1));
        shimClear();
        QVERIFY(first.DTR(1));
        QCOMPARE(requests(a.rdev()), "MBIS");

        // Held by some other program.
        const int other = ::open(b.slave.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        QVERIFY(other >= 0 && flock(other, LOCK_EX | LOCK_NB) == 0);
        QCOMPARE(first.OpenPort("COM3,1200,N,8,1"), 0);
        ::close(other);
        QCOMPARE(first.currentDevice(), a.slave);
    }
    QVERIFY2(canOpen(map, mode), "the destructor must release the port");
}

void TestComLinesShim::switchPorts()
{
    ComLines lines(map);
    QVERIFY(lines.OpenPort("COM2,1200,N,8,1"));
    QCOMPARE(lines.OpenPort("COM3,1200,N,8,1"), 3);
    QCOMPARE(lines.currentDevice(), b.slave);
    QVERIFY2(canOpen(map, "COM2,1200,N,8,1"), "the port used before must be closed");
    shimClear();
    QVERIFY(lines.DTR(1));
    QCOMPARE(requests(b.rdev()), "MBIS");
}

void TestComLinesShim::releasedAsFound_data()
{
    QTest::addColumn<bool>("byDestruction"); // else by opening another port
    QTest::addColumn<bool>("invert");

    QTest::newRow("switch") << false << false;
    QTest::newRow("switch, inverted lines") << false << true;
    QTest::newRow("destruction") << true << false;
}

void TestComLinesShim::releasedAsFound()
{
    QFETCH(bool, byDestruction);
    QFETCH(bool, invert);
    WatchedPty watched(map);
    QVERIFY(watched.watcher >= 0);
    const QString& before = watched.before;
    watched.map.invertDTR = watched.map.invertTXD = invert;
    {
        ComLines lines(watched.map);
        QCOMPARE(lines.OpenPort("COM5,1200,N,8,1"), 5);
        QVERIFY(lines.DTR(0) && lines.TXD(0));
        QVERIFY(watched.state() != before);
        if (!byDestruction)
            QCOMPARE(lines.OpenPort("COM3,1200,N,8,1"), 3);
        QCOMPARE(watched.state() == before, !byDestruction);
    }
    // At the end DTR stays at rest.
    QCOMPARE(watched.state(),
             byDestruction ? QString(before).replace("lines 1,0", "lines 0,0") : before);
}

void TestComLinesShim::breakTimedOncePerNode()
{
    ComLines lines(map);
    int readings = 0;
    lines.setClock(timingClock({1}, &readings));
    QVERIFY(lines.OpenPort("COM2,1200,N,8,1"));
    const int perTiming = readings;
    QVERIFY(perTiming > 0);
    // The scan opens each port, then the chosen one again.
    for (const char* mode : {"COM3,1200,N,8,1", "COM2,1200,N,8,1"})
        QVERIFY(lines.OpenPort(mode));
    QCOMPARE(readings, 2 * perTiming);
    QVERIFY(touch(a.slave));
    for (const char* mode : {"COM3,1200,N,8,1", "COM2,1200,N,8,1"})
        QVERIFY(lines.OpenPort(mode));
    QCOMPARE(readings, 3 * perTiming);
}

void TestComLinesShim::failedOpenKeepsPort_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<unsigned long>("failing");

    QTest::newRow("other, no lines") << "COM3,1200,N,8,1" << (unsigned long)TIOCMGET;
    QTest::newRow("other, DTR stuck") << "COM3,1200,N,8,1" << (unsigned long)TIOCMBIC;
    QTest::newRow("other, break stuck") << "COM3,1200,N,8,1" << (unsigned long)TIOCCBRK;
    QTest::newRow("other, break cannot be set") << "COM3,1200,N,8,1" << (unsigned long)TIOCSBRK;
    QTest::newRow("unparsable") << "COM3,1200,N,8" << 0ul;
    QTest::newRow("unmapped") << "COM5,1200,N,8,1" << 0ul;
    QTest::newRow("missing") << "COM1,1200,N,8,1" << 0ul;
}

void TestComLinesShim::failedOpenKeepsPort()
{
    QFETCH(QString, mode);
    QFETCH(unsigned long, failing);
    ComLines lines(map);
    QCOMPARE(lines.OpenPort("COM2,1200,N,8,1"), 2);
    shimFail(failing);
    QCOMPARE(lines.OpenPort(mode), 0);
    shimFail(0);
    QCOMPARE(lines.currentDevice(), a.slave);
    shimClear();
    QVERIFY(lines.DTR(1) && lines.TXD(0));
    QCOMPARE(requests(a.rdev()), "MBIS");
    QVERIFY2(canOpen(map, "COM3,1200,N,8,1"), "a failed open must not keep the device");
}

void TestComLinesShim::refusedLeftAsFound_data()
{
    QTest::addColumn<unsigned long>("failing");
    QTest::addColumn<QString>("other"); // how another program holds the device
    // Break on as well where it is never cleared, so that clearing either line shows. No system
    // reports break back, so a refusal after clearing it cannot put it back on.
    QTest::addColumn<int>("breakFound");

    QTest::newRow("no modem lines") << (unsigned long)TIOCMGET << "" << 1;
    QTest::newRow("settings refused") << (unsigned long)TCSETS << "" << 1;
    QTest::newRow("DTR stuck") << (unsigned long)TIOCMBIC << "" << 1;
    QTest::newRow("break stuck") << (unsigned long)TIOCCBRK << "" << 1;
    QTest::newRow("break cannot be set") << (unsigned long)TIOCSBRK << "" << 0;
    QTest::newRow("locked by another") << 0ul << "flock" << 1;
    // Root gets through an exclusive device; the flag is then the other program's to clear.
    QTest::newRow("exclusive to another") << 0ul << "exclusive" << 1;
}

void TestComLinesShim::refusedLeftAsFound()
{
    QFETCH(unsigned long, failing);
    QFETCH(QString, other);
    // A fresh pty is a cooked terminal at 38400 baud, nothing like the raw 1200 asked for.
    TestPty pty;
    const QByteArray path = pty.slave.toLocal8Bit();
    const int watcher = ::open(path.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    QVERIFY(watcher >= 0);
    const int held = other.isEmpty() ? -1 : ::open(path.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    QVERIFY(other.isEmpty() || held >= 0);
    if (other == "flock")
        QCOMPARE(flock(held, LOCK_EX | LOCK_NB), 0);
    if (other == "exclusive")
        QCOMPARE(::ioctl(held, TIOCEXCL), 0);
    QFETCH(int, breakFound);
    shimSetLines(pty.rdev(), TIOCM_DTR | TIOCM_RTS, breakFound);
    const QString before = foundState(watcher, pty.rdev());

    PortMap onPty = map;
    onPty.devices[4] = pty.slave;
    shimFail(failing);
    const int opened = ComLines(onPty).OpenPort("COM5,1200,N,8,1");
    shimFail(0);
    QCOMPARE(opened, 0);
    QCOMPARE(foundState(watcher, pty.rdev()), before);

    if (held >= 0) {
        ::ioctl(held, TIOCNXCL);
        ::close(held);
    }
    ::close(watcher);
    QVERIFY2(canOpen(onPty, "COM5,1200,N,8,1"), "the refusal must not keep the device");
}

void TestComLinesShim::deviceFailure_data()
{
    QTest::addColumn<QString>("failing"); // the line call that finds the adapter gone

    QTest::newRow("DTR") << "DTR";
    QTest::newRow("TXD") << "TXD";
}

void TestComLinesShim::deviceFailure()
{
    QFETCH(QString, failing);
    // The adapter's name in Data.ini leads through a link that is made again when it returns.
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("links"));
    QFile ini(dir.filePath("Data.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly) && ini.write("[Porty]\nCOM2=links/com2\n") > 0);
    ini.close();
    const QByteArray link = QFile::encodeName(dir.filePath("links/com2"));
    auto first = std::make_unique<TestPty>();
    QCOMPARE(::symlink(first->slave.toLocal8Bit().constData(), link.constData()), 0);

    const QString mode = "COM2,1200,N,8,1";
    ComLines lines(PortMap::fromIni(ini.fileName()));
    QCOMPARE(lines.OpenPort(mode), 2);
    const unsigned long long gone = first->rdev();
    const QList<int> held = descriptors(gone);
    QCOMPARE(held.size(), 1);
    shimFailFd(held[0]);
    QVERIFY(!(failing == "DTR" ? lines.DTR(1) : lines.TXD(1)));
    // Closed at once: the kernel can then give the returning adapter its old name.
    QCOMPARE(openCount(gone), 0);
    QVERIFY(!lines.isOpen() && !lines.DTR(1) && !lines.TXD(1));

    first.reset();
    TestPty second;
    QCOMPARE(::unlink(link.constData()), 0);
    QCOMPARE(::symlink(second.slave.toLocal8Bit().constData(), link.constData()), 0);
    QCOMPARE(lines.OpenPort(mode), 2);
    shimClear();
    QVERIFY(lines.DTR(1) && lines.TXD(1) && lines.DTR(0));
    QCOMPARE(requests(second.rdev()), "MBIS SBRK MBIC");
}

void TestComLinesShim::console_data()
{
    QTest::addColumn<QString>("listing"); // %1 stands for the pty's major:minor; null: no list
    QTest::addColumn<bool>("opens");

    QTest::newRow("listed") << "ttyS0 -W- (EC p a) 4:64\npts -W- (E p a) %1\n" << false;
    QTest::newRow("not listed") << "ttyS0 -W- (EC p a) 4:64\n" << true;
    QTest::newRow("empty list") << "" << true;
    QTest::newRow("list unreadable") << QString() << false;
}

void TestComLinesShim::console()
{
    QFETCH(QString, listing);
    QTemporaryDir dir;
    const QString path = dir.filePath("consoles");
    if (!listing.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const auto rdev = a.rdev();
        file.write(QString(listing)
                       .replace("%1", QStringLiteral("%1:%2").arg(major(rdev)).arg(minor(rdev)))
                       .toLatin1());
    }
    QFETCH(bool, opens);
    ComLines lines(map);
    lines.setConsoleListPath(path);
    QCOMPARE(lines.OpenPort("COM2,1200,N,8,1") != 0, opens);
    if (!opens)
        QCOMPARE(requests(a.rdev()), "");
}

void TestComLinesShim::virtualDisplay_data()
{
    // COM1 and COM5 are emulated displays, COM2 a device, COM3 missing.
    QTest::addColumn<QList<int>>("opens");
    QTest::addColumn<QList<int>>("results");
    QTest::addColumn<int>("reached"); // the emulated display the lines reach after; 0: the device

    QTest::newRow("virtual opens") << QList{5} << QList{5} << 5;
    QTest::newRow("virtual again") << QList{5, 5} << QList{5, 5} << 5;
    QTest::newRow("device to virtual") << QList{2, 5} << QList{2, 5} << 5;
    QTest::newRow("virtual to device") << QList{5, 2} << QList{5, 2} << 0;
    QTest::newRow("virtual to missing") << QList{5, 3} << QList{5, 0} << 5;
    QTest::newRow("virtual to virtual") << QList{5, 1} << QList{5, 1} << 1;
}

void TestComLinesShim::virtualDisplay()
{
    QFETCH(QList<int>, opens);
    QFETCH(QList<int>, results);
    QFETCH(int, reached);
    PortMap mixed = map;
    mixed.devices = {"Virtual", a.slave, "/nonexistent/com3", QString(), "virtual"};
    mixed.invertDTR = mixed.invertTXD = true; // for wires, not for the emulation
    MappedPorts lines(mixed);
    int refusals = 0;
    lines.setRefusalListener([&](int n, const PortRefusal&) { refusals += n != 3; });
    QVERIFY(lines.virtualDisplay(1) && lines.virtualDisplay(5) && !lines.virtualDisplay(2));
    for (qsizetype i = 0; i < opens.size(); ++i)
        QCOMPARE(lines.OpenPort(QStringLiteral("COM%1,1200,N,8,1").arg(opens[i])), results[i]);
    shimClear();
    QVERIFY(lines.DTR(1) && lines.TXD(1) && lines.DTR(0)); // a lit bit clocked in

    for (const int n : {1, 5}) {
        VirtualDisplay& display = *lines.virtualDisplay(n);
        QCOMPARE(display.bits(), quint64(n == reached ? 1 : 0));
        if (n != reached)
            QVERIFY2(!display.DTR(1), "a display switched away from is released");
        QVERIFY(!lines.refusal(n));
    }
    QCOMPARE(refusals, 0);
    QCOMPARE(lines.devices().currentDevice(), reached ? QString() : a.slave);
    QCOMPARE(requests(a.rdev()).isEmpty(), reached != 0);
    if (opens.contains(2))
        QVERIFY2(canOpen(map, "COM2,1200,N,8,1") == (reached != 0),
                 "the device is let go when the emulated display takes over");
}

} // namespace tikvor

QTEST_GUILESS_MAIN(tikvor::TestComLinesShim)
#include "tst_comlines_shim.moc"
