#include "comlines_os.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <vector>

namespace tikvor::detail {

struct OsPort {
    int fd = -1;
    dev_t rdev = 0;
    bool exclusive = false; // the exclusive flag is ours to clear
    bool accepted = false;
    // How it was found, put back when it is refused or released.
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

bool isConsole(dev_t rdev, const QString& consolesPath, PortRefusal& refusal)
{
    QFile list(consolesPath);
    // Without the list nothing can be ruled out, and opening the console is what must never
    // happen.
    if (!list.open(QIODevice::ReadOnly)) {
        refusal.systemMessage =
            QStringLiteral("%1 cannot be read to rule it out").arg(consolesPath);
        return true;
    }
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

QByteArray osNodeKey(const QString& device)
{
    struct stat named {};
    if (::stat(QFile::encodeName(device).constData(), &named) != 0)
        return {};
    // The change time catches a chmod or chgrp that cures a refused permission.
    return QByteArray::number(quint64(named.st_dev)) + ' ' +
           QByteArray::number(quint64(named.st_ino)) + ' ' +
           QByteArray::number(quint64(named.st_rdev)) + ' ' +
           QByteArray::number(qint64(named.st_mtim.tv_sec)) + '.' +
           QByteArray::number(qint64(named.st_mtim.tv_nsec)) + ' ' +
           QByteArray::number(qint64(named.st_ctim.tv_sec)) + '.' +
           QByteArray::number(qint64(named.st_ctim.tv_nsec));
}

namespace {

QString systemMessage(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The name the group or user database gives an id, or the number where it gives none.
template <typename Id, typename Entry>
QString nameOf(Id id, int (*lookup)(Id, Entry*, char*, size_t, Entry**), char* Entry::*name)
{
    std::vector<char> buffer(16384);
    Entry entry{};
    Entry* found = nullptr;
    if (lookup(id, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return QString::number(id);
    return QString::fromLocal8Bit(found->*name);
}

QString groupName(gid_t gid)
{
    return nameOf(gid, &::getgrgid_r, &group::gr_name);
}

QString userName(uid_t uid)
{
    return nameOf(uid, &::getpwuid_r, &passwd::pw_name);
}

// A live process, other than us, that a UUCP lock file names for the device: minicom, screen
// and the modem tools mark a port this way instead of, or besides, the exclusive flag.
void findLockHolder(const QString& device, const QStringList& folders, PortRefusal& refusal)
{
    // "/dev/pts/3" is locked as "LCK..pts_3", "/dev/ttyUSB0" as "LCK..ttyUSB0".
    QString name = QFileInfo(device).canonicalFilePath();
    if (name.isEmpty())
        return;
    name = name.startsWith(u"/dev/") ? name.mid(5) : QFileInfo(name).fileName();
    name.replace(u'/', u'_');
    for (const QString& folder : folders) {
        QFile lock(QDir(folder).filePath(QStringLiteral("LCK..") + name));
        if (!lock.open(QIODevice::ReadOnly))
            continue;
        const qint64 pid = lockFilePid(lock.read(64));
        if (pid <= 0 || pid == ::getpid())
            continue;
        // EPERM: alive, but someone else's.
        if (::kill(pid_t(pid), 0) == 0 || errno == EPERM) {
            refusal.reason = PortRefusal::Reason::Busy;
            refusal.holderPid = pid;
            refusal.lockFile = lock.fileName();
            return;
        }
    }
}

PortRefusal::Reason openFailure(int error)
{
    using Reason = PortRefusal::Reason;
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENXIO: // a node without hardware behind it
    case ENODEV:
        return Reason::Missing;
    case EBUSY: // marked exclusive by another program
        return Reason::Busy;
    case EACCES:
    case EPERM:
        return Reason::PermissionDenied;
    default:
        return Reason::Failed;
    }
}

} // namespace

OsPortPtr osOpen(const QString& device, const OsPlaces& places, PortRefusal& refusal)
{
    using Reason = PortRefusal::Reason;
    const QByteArray path = QFile::encodeName(device);
    const auto fail = [&](Reason reason, int error = 0) {
        refusal.reason = reason;
        if (error != 0)
            refusal.systemMessage = systemMessage(error);
        return nullptr;
    };
    // Decided from the name before opening: even an open with O_NOCTTY can disturb a console.
    struct stat named {};
    if (::stat(path.constData(), &named) != 0) {
        const int error = errno;
        return fail(openFailure(error), error == ENOENT ? 0 : error);
    }
    if (!S_ISCHR(named.st_mode))
        return fail(Reason::NotSerialLine);
    if (isConsole(named.st_rdev, places.consoles, refusal))
        return fail(Reason::SystemConsole);
    findLockHolder(device, places.lockFolders, refusal);
    if (refusal.holderPid != 0)
        return nullptr;

    OsPortPtr port(new OsPort);
    do {
        port->fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (port->fd < 0 && errno == EINTR);
    if (port->fd < 0) {
        const int error = errno;
        refusal.exclusiveByOther = error == EBUSY;
        if (error == EACCES || error == EPERM) {
            // Joining the group helps only where the mode gives the group access; where the
            // owner, group and mode let us in already, something else refuses. Where the mode
            // lets its owner alone in (600, as a device without a rule of its own is made),
            // no group helps, and the user is told so rather than pointed at one.
            const auto may = [&](mode_t read, mode_t write) {
                return (named.st_mode & (read | write)) == (read | write);
            };
            if (::faccessat(AT_FDCWD, path.constData(), R_OK | W_OK, AT_EACCESS) == 0)
                refusal.byPolicy = true;
            else if (may(S_IRGRP, S_IWGRP))
                refusal.group = groupName(named.st_gid);
            else if (may(S_IRUSR, S_IWUSR) && !may(S_IROTH, S_IWOTH))
                refusal.owner = userName(named.st_uid);
        }
        return fail(openFailure(error), error == ENOENT || error == EBUSY ? 0 : error);
    }
    // The name may have been replaced between stat and open.
    struct stat opened {};
    if (::fstat(port->fd, &opened) != 0 || !S_ISCHR(opened.st_mode) ||
        opened.st_rdev != named.st_rdev)
        return fail(Reason::Missing);
    if (!::isatty(port->fd))
        return fail(Reason::NotSerialLine);
    port->rdev = opened.st_rdev;

    // Nothing but questions and the lock, which closing releases, until every check has passed:
    // a refused device is closed as it was found.
#ifdef TIOCGEXCL
    // Root opens a device another program marked exclusive; that program still holds it. A
    // kernel too old to answer leaves the decision to flock.
    int othersExclusive = 0;
    if (retryIoctl(port->fd, TIOCGEXCL, &othersExclusive) == 0 && othersExclusive != 0) {
        refusal.exclusiveByOther = true;
        return fail(Reason::Busy);
    }
#endif
    // flock also holds against ourselves and against root, which TIOCEXCL lets through.
    if (::flock(port->fd, LOCK_EX | LOCK_NB) != 0)
        return fail(Reason::Busy);
    // A pseudo-terminal takes break requests but has no modem lines; asking for them directly
    // refuses it even where clearing DTR would have been accepted.
    if (retryIoctl(port->fd, TIOCMGET, &port->foundLines) != 0)
        return fail(Reason::NoModemLines);
    termios found{};
    if (::tcgetattr(port->fd, &found) != 0)
        return fail(Reason::NotSerialLine);
    port->found = found;
    if (retryIoctl(port->fd, TIOCEXCL) != 0)
        return fail(Reason::Failed, errno);
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

} // namespace

bool osConfigure(OsPort& port, const PortSettings& settings, PortRefusal& refusal)
{
    const auto speed = speedOf(settings.baud);
    termios tio{};
    if (!speed || ::tcgetattr(port.fd, &tio) != 0) {
        refusal.reason = PortRefusal::Reason::NotSerialLine;
        return false;
    }
    ::cfmakeraw(&tio);
    if (::cfsetspeed(&tio, *speed) != 0) {
        refusal.reason = PortRefusal::Reason::NotSerialLine;
        return false;
    }
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
    if (!setAttributes(port.fd, tio)) {
        refusal.reason = PortRefusal::Reason::Failed;
        refusal.systemMessage = systemMessage(errno);
        return false;
    }

    int dtr = TIOCM_DTR;
    const bool dtrCleared = retryIoctl(port.fd, TIOCMBIC, &dtr) == 0;
    if (dtrCleared && retryIoctl(port.fd, TIOCCBRK) == 0)
        return true;
    refusal.reason = PortRefusal::Reason::NoModemLines;
    // A device being refused goes back to how it was found; the port already accepted keeps
    // what it has.
    if (!port.accepted)
        osRelease(port, dtrCleared, dtrCleared);
    return false;
}

void osAccept(OsPort& port)
{
    port.accepted = true;
}

// In the reverse order of osConfigure; the lines only when they were changed there.
void osRelease(OsPort& port, bool clearBreak, bool restoreDtr)
{
    if (!port.found)
        return;
    if (clearBreak)
        retryIoctl(port.fd, TIOCCBRK);
    if (restoreDtr) {
        int dtr = TIOCM_DTR;
        retryIoctl(port.fd, (port.foundLines & TIOCM_DTR) != 0 ? TIOCMBIS : TIOCMBIC, &dtr);
    }
    setAttributes(port.fd, *port.found);
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
