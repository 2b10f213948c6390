#pragma once
// The seam under ComLines: one source file per OS implements it (comlines_unix.cpp,
// comlines_win.cpp), and ComLines is written once against it. Only the port layer and its tests
// include this.

#include "portrefusal.h"
#include "portsettings.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <memory>

namespace tikvor {

// Whether the Linux device major:minor is where kernel messages may go: /dev/tty and
// /dev/console (which lead there), or a device listed in `consoles`, text in the format of
// /proc/consoles whose last column is "major:minor".
bool isSystemConsole(unsigned major, unsigned minor, QByteArrayView consoles);

// The process a UUCP lock file names: its pid as decimal text (blanks and a newline around it)
// or, in the oldest format, as a 4-byte native integer; 0 when neither.
qint64 lockFilePid(QByteArrayView content);

namespace detail {
struct OsPort;
struct OsPortDeleter {
    void operator()(OsPort* port) const;
};
using OsPortPtr = std::unique_ptr<OsPort, OsPortDeleter>;

// Where the system keeps what the Unix side asks about before it opens a device.
struct OsPlaces {
    QString consoles = QStringLiteral("/proc/consoles");
    QStringList lockFolders{QStringLiteral("/var/lock"), QStringLiteral("/run/lock")};
};

QString osDefaultDevice(int comNumber);
// What identifies the device node behind the name now, without opening it; empty when there is
// none. A node removed and made again, or changed, gives another key.
QByteArray osNodeKey(const QString& device);
// Exclusive open of a serial line that is not the console; nullptr when that is not possible,
// with nothing changed on the device and the reason in `refusal`. Remembers the state found.
OsPortPtr osOpen(const QString& device, const OsPlaces& places, PortRefusal& refusal);
bool osIsDevice(const OsPort& port, const QString& device);
// Applies the settings, checks that both lines can be driven and puts them at rest. When it
// fails on a port not yet accepted, the device gets back the state osOpen found and the reason
// is in `refusal`.
bool osConfigure(OsPort& port, const PortSettings& settings, PortRefusal& refusal);
// The port is ours from now on: a failing osConfigure leaves it as it is.
void osAccept(OsPort& port);
// Puts back what osOpen found, clearing break where it may be on, and DTR as found or else where
// it is; the handle is closed by the deleter after it.
void osRelease(OsPort& port, bool clearBreak, bool restoreDtr);
bool osSetDtr(OsPort& port, bool on);
bool osSetBreak(OsPort& port, bool on);
} // namespace detail

} // namespace tikvor
