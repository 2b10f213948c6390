#include "comlines.h"

#include <QFile>

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
};

namespace {

int retryIoctl(int fd, unsigned long request, const int* bits = nullptr)
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
    switch (baud) {
    case 110: return B110;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return std::nullopt;
    }
}

tcflag_t sizeBits(int dataBits)
{
    switch (dataBits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
    }
}

} // namespace

void OsPortDeleter::operator()(OsPort* port) const
{
    if (port->fd >= 0) {
        ::ioctl(port->fd, TIOCNXCL);
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
    // flock also holds against ourselves and against root, which TIOCEXCL lets through.
    if (::flock(port->fd, LOCK_EX | LOCK_NB) != 0 || retryIoctl(port->fd, TIOCEXCL) != 0)
        return nullptr;
    return port;
}

bool osIsDevice(const OsPort& port, const QString& device)
{
    struct stat named {};
    return ::stat(QFile::encodeName(device).constData(), &named) == 0 &&
           S_ISCHR(named.st_mode) && named.st_rdev == port.rdev;
}

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
    int result;
    do {
        result = ::tcsetattr(port.fd, TCSANOW, &tio);
    } while (result != 0 && errno == EINTR);
    if (result != 0)
        return false;

    // A pseudo-terminal takes break requests but has no modem lines; asking for them directly
    // refuses it even where clearing DTR happened to be accepted.
    int lines = 0;
    const int dtr = TIOCM_DTR;
    return retryIoctl(port.fd, TIOCMGET, &lines) == 0 &&
           retryIoctl(port.fd, TIOCMBIC, &dtr) == 0 && retryIoctl(port.fd, TIOCCBRK) == 0;
}

bool osSetDtr(OsPort& port, bool on)
{
    const int dtr = TIOCM_DTR;
    return retryIoctl(port.fd, on ? TIOCMBIS : TIOCMBIC, &dtr) == 0;
}

bool osSetBreak(OsPort& port, bool on)
{
    return retryIoctl(port.fd, on ? TIOCSBRK : TIOCCBRK) == 0;
}

} // namespace tikvor::detail
