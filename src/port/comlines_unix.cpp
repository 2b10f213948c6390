#include "comlines.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace tikvor::detail {

struct OsPort {
    int fd = -1;
    dev_t rdev = 0;
    bool exclusive = false; // the exclusive flag is ours to clear
    // Until the port is accepted: how it was found, so that a refusal can put it back.
    std::optional<termios> found;
    int foundLines = 0;
};

namespace {

int retryIoctl(int fd, unsigned long request, int* bits = nullptr)
{
    int result;
    do {
        result = bits ? ::ioctl(fd, request, bits) : ::ioctl(fd, request);
    } while (result < 0 && errno == EINTR);
    return result;
}

bool isConsole(dev_t rdev, const QString& consolesPath)
{
    QFile list(consolesPath);
    // Without the list nothing can be ruled out, and opening the console is what must never
    // happen.
    if (!list.open(QIODevice::ReadOnly))
        return true;
    // /proc files report size 0, so read until the end rather than by size.
    return isSystemConsole(major(rdev), minor(rdev), list.readAll());
}

std::optional<speed_t> speedOf(int baud)
{
    constexpr std::pair<int, speed_t> kSpeeds[] = {
        {110, B110},     {300, B300},     {600, B600},      {1200, B1200},
        {2400, B2400},   {4800, B4800},   {9600, B9600},    {19200, B19200},
        {38400, B38400}, {57600, B57600}, {115200, B115200}};
    for (const auto& [rate, speed] : kSpeeds) {
        if (rate == baud)
            return speed;
    }
    return std::nullopt;
}

tcflag_t sizeBits(int dataBits)
{
    constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    return kSizes[std::clamp(dataBits, 5, 8) - 5];
}

} // namespace

void OsPortDeleter::operator()(OsPort* port) const
{
    if (port->fd >= 0) {
        if (port->exclusive)
            ::ioctl(port->fd, TIOCNXCL);
        // A child forked but not yet exec'd shares the descriptor; the lock must not wait for it.
        ::flock(port->fd, LOCK_UN);
        ::close(port->fd);
    }
    delete port;
}

QString osDefaultDevice(int comNumber)
{
    return QStringLiteral("/dev/ttyS%1").arg(comNumber - 1);
}

OsPortPtr osOpen(const QString& device, const QString& consolesPath)
{
    const QByteArray path = QFile::encodeName(device);
    // Decided from the name before opening: even an open with O_NOCTTY can disturb a console.
    struct stat named {};
    if (::stat(path.constData(), &named) != 0 || !S_ISCHR(named.st_mode) ||
        isConsole(named.st_rdev, consolesPath))
        return nullptr;

    OsPortPtr port(new OsPort);
    do {
        port->fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (port->fd < 0 && errno == EINTR);
    if (port->fd < 0)
        return nullptr;
    // The name may have been replaced between stat and open.
    struct stat opened {};
    if (::fstat(port->fd, &opened) != 0 || !S_ISCHR(opened.st_mode) ||
        opened.st_rdev != named.st_rdev || !::isatty(port->fd))
        return nullptr;
    port->rdev = opened.st_rdev;

    // Nothing but questions and the lock, which closing releases, until every check has passed:
    // a refused device is closed as it was found.
#ifdef TIOCGEXCL
    // Root opens a device another program marked exclusive; that program still holds it. A
    // kernel too old to answer leaves the decision to flock.
    int othersExclusive = 0;
    if (retryIoctl(port->fd, TIOCGEXCL, &othersExclusive) == 0 && othersExclusive != 0)
        return nullptr;
#endif
    // flock also holds against ourselves and against root, which TIOCEXCL lets through.
    if (::flock(port->fd, LOCK_EX | LOCK_NB) != 0)
        return nullptr;
    // A pseudo-terminal takes break requests but has no modem lines; asking for them directly
    // refuses it even where clearing DTR would have been accepted.
    termios found{};
    if (retryIoctl(port->fd, TIOCMGET, &port->foundLines) != 0 ||
        ::tcgetattr(port->fd, &found) != 0)
        return nullptr;
    port->found = found;
    if (retryIoctl(port->fd, TIOCEXCL) != 0)
        return nullptr;
    port->exclusive = true;
    return port;
}

bool osIsDevice(const OsPort& port, const QString& device)
{
    struct stat named {};
    return ::stat(QFile::encodeName(device).constData(), &named) == 0 && S_ISCHR(named.st_mode) &&
           named.st_rdev == port.rdev;
}

namespace {

bool setAttributes(int fd, const termios& wanted)
{
    int result;
    do {
        result = ::tcsetattr(fd, TCSANOW, &wanted);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

// In the reverse order of osConfigure; DTR only when it was cleared there.
void restoreFound(OsPort& port, bool dtrCleared)
{
    if (!port.found)
        return;
    int dtr = TIOCM_DTR;
    if (dtrCleared && (port.foundLines & TIOCM_DTR) != 0)
        retryIoctl(port.fd, TIOCMBIS, &dtr);
    setAttributes(port.fd, *port.found);
}

} // namespace

bool osConfigure(OsPort& port, const PortSettings& settings)
{
    const auto speed = speedOf(settings.baud);
    termios tio{};
    if (!speed || ::tcgetattr(port.fd, &tio) != 0)
        return false;
    ::cfmakeraw(&tio);
    if (::cfsetspeed(&tio, *speed) != 0)
        return false;
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | HUPCL | CRTSCTS);
    // CLOCAL and no HUPCL: opening and closing must leave DTR where the clock put it.
    tio.c_cflag |= sizeBits(settings.dataBits) | CREAD | CLOCAL;
    if (settings.parity != 'N')
        tio.c_cflag |= PARENB;
    if (settings.parity == 'O')
        tio.c_cflag |= PARODD;
    if (settings.stopBits == 2)
        tio.c_cflag |= CSTOPB;
    // tcsetattr fails only when it changed nothing.
    if (!setAttributes(port.fd, tio))
        return false;

    int dtr = TIOCM_DTR;
    const bool dtrCleared = retryIoctl(port.fd, TIOCMBIC, &dtr) == 0;
    if (dtrCleared && retryIoctl(port.fd, TIOCCBRK) == 0)
        return true;
    // A device being refused goes back to how it was found; the port already accepted keeps
    // what it has.
    restoreFound(port, dtrCleared);
    return false;
}

void osRestoreFound(OsPort& port)
{
    restoreFound(port, true);
}

void osAccept(OsPort& port)
{
    port.found.reset();
}

bool osSetDtr(OsPort& port, bool on)
{
    int dtr = TIOCM_DTR;
    return retryIoctl(port.fd, on ? TIOCMBIS : TIOCMBIC, &dtr) == 0;
}

bool osSetBreak(OsPort& port, bool on)
{
    return retryIoctl(port.fd, on ? TIOCSBRK : TIOCCBRK) == 0;
}

} // namespace tikvor::detail
