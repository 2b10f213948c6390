#pragma once
// The display link as two control lines of a serial port: DTR, and TXD held in break.
//
// Contract:
// - OpenPort takes "COMn,baud,parity,data,stop". It opens the device mapped to COMn exclusively,
//   applies the settings and leaves the lines at rest: DTR released, break off (both physical,
//   whatever the inversion). RTS stays asserted while the port is held. It returns n on success;
//   that port becomes the one in use and the one held before is closed. It returns 0 and keeps
//   the port in use untouched (but see the device in use, below) when the mode does not parse,
//   or the device is missing, busy (locked or marked exclusive by someone else), not a serial
//   line, cannot do both line operations, fakes break (see below), or is the system console.
// - A port whose break on and break off, timed once at a fresh open with the settings and the
//   rest state applied, take longer than 20 ms together is refused: an adapter that emulates
//   break by changing the baud rate would stretch a 48-bit frame past ten seconds. The reason, the
//   device and the time measured go to standard error as one line.
// - A refused device is closed as it was found: nothing is changed on it before the checks that
//   need no change have passed, and what a later failing step had already changed (settings,
//   DTR, the exclusive flag) is put back. Break, which no system reports back, is left off.
// - Asking again for the device in use re-applies the settings and the rest state on the handle
//   already held, without timing break again. If that fails (the handle of an adapter pulled out
//   and put back is dead), the held handle is closed, the port in use is then none, and the
//   device is opened afresh by its name as if it had not been held; OpenPort returns the result
//   of that open.
// - DTR and TXD act on the port in use: exactly one OS call each, except that TXD makes none
//   when the physical break state would not change. They return false when there is no port or
//   the call failed; after a failed call the break state counts as unknown, so the next TXD
//   always reaches the device.
// - Level 1 (any nonzero) asserts; InvertDTR / InvertTXD swap what reaches the device.

#include "seriallines.h"

#include <QByteArrayView>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace tikvor {

struct PortSettings {
    int baud = 0;
    char parity = 'N'; // 'N', 'E' or 'O'
    int dataBits = 8;
    int stopBits = 1;
};

struct PortMap {
    std::array<QString, 5> devices; // index 0 = COM1
    bool invertDTR = false;
    bool invertTXD = false;

    // "COMn" on Windows, "/dev/ttyS<n-1>" elsewhere.
    static PortMap defaults();
    // The defaults, overridden by the optional section "Porty" of Data.ini: keys COM1..COM5 (a
    // device path; empty keeps the default; a relative path is taken from the folder of
    // Data.ini, a bare "COMn" is kept as it is), InvertDTR=1, InvertTXD=1 (any other value: off).
    static PortMap fromIni(const QString& dataIniPath);
};

// "COMn,baud,parity,data,stop" with n 1..5, a baud rate both Windows and termios name, parity
// N/E/O in either case, 5..8 data bits, 1 or 2 stop bits; blanks around fields are allowed.
std::optional<std::pair<int, PortSettings>> parseMode(const QString& mode);

// Whether the Linux device major:minor is where kernel messages may go: /dev/tty and
// /dev/console (which lead there), or a device listed in `consoles`, text in the format of
// /proc/consoles whose last column is "major:minor".
bool isSystemConsole(unsigned major, unsigned minor, QByteArrayView consoles);

namespace detail {
// One per OS source file; ComLines itself is written once against these.
struct OsPort;
struct OsPortDeleter {
    void operator()(OsPort* port) const;
};
using OsPortPtr = std::unique_ptr<OsPort, OsPortDeleter>;

QString osDefaultDevice(int comNumber);
// Exclusive open of a serial line that is not the console; nullptr when that is not possible,
// with nothing changed on the device. Remembers the state found for osConfigure.
OsPortPtr osOpen(const QString& device, const QString& consolesPath);
bool osIsDevice(const OsPort& port, const QString& device);
// Applies the settings, checks that both lines can be driven and puts them at rest. When it
// fails on a port not yet accepted, the device gets back the state osOpen found.
bool osConfigure(OsPort& port, const PortSettings& settings);
// Puts back the state osOpen found on a port refused after osConfigure succeeded on it.
void osRestoreFound(OsPort& port);
// The port is ours from now on: a later failure leaves it as it is, nothing is put back.
void osAccept(OsPort& port);
bool osSetDtr(OsPort& port, bool on);
bool osSetBreak(OsPort& port, bool on);
} // namespace detail

class ComLines : public SerialLines {
public:
    explicit ComLines(PortMap map);
    ~ComLines() override;
    ComLines(const ComLines&) = delete;
    ComLines& operator=(const ComLines&) = delete;

    int OpenPort(const QString& mode) override;
    bool DTR(int level) override;
    bool TXD(int level) override;

    bool isOpen() const { return port_ != nullptr; }
    // The device path of the port in use, empty when none.
    QString currentDevice() const { return device_; }
    // Where the list of system consoles is read (Linux); an unreadable list refuses every port.
    void setConsoleListPath(const QString& path) { consolesPath_ = path; }
    // The monotonic clock, in nanoseconds, that times break at open.
    void setClock(std::function<qint64()> nanoseconds) { clock_ = std::move(nanoseconds); }

private:
    bool breakIsReal(detail::OsPort& port, const QString& device);

    PortMap map_;
    QString consolesPath_ = QStringLiteral("/proc/consoles");
    std::function<qint64()> clock_;
    detail::OsPortPtr port_;
    QString device_;
    std::optional<bool> breakOn_; // physical state; empty when unknown
};

} // namespace tikvor
