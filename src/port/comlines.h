#pragma once
// The display link as two control lines of a serial port: DTR, and TXD held in break.
//
// Contract:
// - OpenPort takes "COMn,baud,parity,data,stop". It opens the device mapped to COMn exclusively,
//   applies the settings and leaves the lines at rest: DTR released, break off (both physical,
//   whatever the inversion). RTS stays asserted while the port is held. It returns n on success;
//   that port becomes the one in use and the one held before is released (below). It returns 0
//   and keeps the port in use untouched (but see the device in use, below) when the mode does not
//   parse, or the device is refused: missing, busy (locked, marked exclusive, or named by a live
//   UUCP lock file of another process), permission denied, not a serial line, cannot do both line
//   operations, fakes break (see below), or is the system console.
// - Every refusal of a device has a PortRefusal. refusal(n) holds the last one of COMn until COMn
//   opens. The refusal listener hears each (device, reason) once per ComLines, on the thread that
//   called OpenPort; by default it writes describe() as one line to standard error.
// - A refusal that lasts (fakes break, permission denied, not a serial line, the system console)
//   is remembered with the device node: until the node changes (removed and made again, another
//   inode, device number, modification or change time) OpenPort returns 0 at once without
//   opening the device.
// - Break is timed at the first open of a device node: break on and off, up to three times. When
//   the best pair takes longer than 20 ms the port is refused: an adapter that emulates break by
//   changing the baud rate would stretch a 48-bit frame past ten seconds. A node that passed is
//   not timed again.
// - A device is left as it was found: a refused one has nothing changed before the checks that
//   need no change have passed, and what a later failing step had already changed (settings,
//   DTR, the exclusive flag) is put back. A port released because another one opened gets back
//   the settings, DTR state and exclusive flag found at open; at destruction it gets back the
//   settings and the exclusive flag, and DTR stays where the clock left it (at rest): the display
//   clocks on the falling edge that a DTR put back up would make when the close drops it. Break,
//   which no system reports back, is always left off.
// - Asking again for the device in use re-applies the settings and the rest state on the handle
//   already held, without timing break again. If that fails, the held handle is closed, the port
//   in use is then none, and the device is opened afresh by its name; OpenPort returns the result
//   of that open.
// - DTR and TXD act on the port in use: exactly one OS call each, except that TXD makes none
//   when the physical break state would not change. They return false when there is no port or
//   the call failed. A failed call closes the handle at once (the port in use is then none): the
//   kernel can give a returning adapter its old name only once nobody holds the old node, and
//   OpenPort with the same mode then reaches it by name.
// - Level 1 (any nonzero) asserts; InvertDTR / InvertTXD swap what reaches the device.
// - A COMn mapped to "virtual" (any case) leads to an emulated display owned here, made with the
//   ComLines: OpenPort of it returns n (never busy or refused, nothing recorded) and it becomes
//   the port in use, the port held before released as for any switch; switching away from it
//   releases it. DTR and TXD reach it as logical levels (inversion is for wires). It never fails,
//   so it is never lost. virtualDisplay(n) is fixed from construction: read it from any thread.

#include "seriallines.h"
#include "virtualdisplay.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>
#include <mutex>
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
    // Data.ini, a bare "COMn" and "virtual" are kept as they are), InvertDTR=1, InvertTXD=1 (any
    // other value: off).
    static PortMap fromIni(const QString& dataIniPath);
};

// Why a device was not opened; what the front ends show of a refused port.
struct PortRefusal {
    enum class Reason {
        Missing,          // no such device (or no hardware behind the node)
        Busy,             // held by another program
        PermissionDenied, // we may not open it
        NotSerialLine,    // a file, a pipe, a terminal without serial settings
        NoModemLines,     // DTR or break cannot be driven
        FakesBreak,       // break on and off too slow: an adapter that emulates it
        SystemConsole,    // where kernel messages go, never driven
        Failed,           // the system refused for another reason, given in systemMessage
    };
    Reason reason = Reason::Missing;
    QString device;
    double breakMs = 0;            // FakesBreak: the best of the timings
    qint64 holderPid = 0;          // Busy: the process a UUCP lock file names, 0 when none
    QString lockFile;              // Busy: that lock file
    bool exclusiveByOther = false; // Busy: another program set the exclusive flag
    QString group;                 // PermissionDenied: the group that owns the device
    QString systemMessage;         // the system's own words, where it gave some

    // Refused for a reason that holds until the device node changes.
    bool lasts() const;
};

// One line of English naming the device and the reason, as standard error shows it.
QString describe(const PortRefusal& refusal);

// "COMn,baud,parity,data,stop" with n 1..5, a baud rate both Windows and termios name, parity
// N/E/O in either case, 5..8 data bits, 1 or 2 stop bits; blanks around fields are allowed.
std::optional<std::pair<int, PortSettings>> parseMode(const QString& mode);

// Whether the Linux device major:minor is where kernel messages may go: /dev/tty and
// /dev/console (which lead there), or a device listed in `consoles`, text in the format of
// /proc/consoles whose last column is "major:minor".
bool isSystemConsole(unsigned major, unsigned minor, QByteArrayView consoles);

// The process a UUCP lock file names: its pid as decimal text (blanks and a newline around it)
// or, in the oldest format, as a 4-byte native integer; 0 when neither.
qint64 lockFilePid(QByteArrayView content);

namespace detail {
// One per OS source file; ComLines itself is written once against these.
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

class ComLines : public SerialLines {
public:
    // Break on and off together may take this long on a line that really breaks.
    static constexpr int BreakLimitMs = 20;
    using RefusalListener = std::function<void(int comNumber, const PortRefusal& refusal)>;

    explicit ComLines(PortMap map);
    ~ComLines() override;
    ComLines(const ComLines&) = delete;
    ComLines& operator=(const ComLines&) = delete;

    int OpenPort(const QString& mode) override;
    bool DTR(int level) override;
    bool TXD(int level) override;

    bool isOpen() const { return m_port != nullptr || m_virtualInUse != nullptr; }
    // The device path of the port in use, empty when none.
    QString currentDevice() const { return m_device; }
    // The last refusal of COMn since it last opened; any thread.
    std::optional<PortRefusal> refusal(int comNumber) const;
    // The emulated display COMn leads to; null when COMn is mapped to a device.
    VirtualDisplay* virtualDisplay(int comNumber) const;

    // Before the first OpenPort.
    void setRefusalListener(RefusalListener listener) { m_listener = std::move(listener); }
    // Where the list of system consoles is read (Linux); an unreadable list refuses every port.
    void setConsoleListPath(const QString& path) { m_places.consoles = path; }
    // Where UUCP lock files are looked for (Unix).
    void setLockFolders(const QStringList& folders) { m_places.lockFolders = folders; }
    // The monotonic clock, in nanoseconds, that times break at open.
    void setClock(std::function<qint64()> nanoseconds) { m_clock = std::move(nanoseconds); }

private:
    struct Lasting {
        QByteArray node;
        PortRefusal refusal;
    };

    int openFresh(int number, const QString& device, const PortSettings& settings);
    int openVirtual(int number, const QString& mode);
    // The emulated display in use, if any, is no longer driven.
    void releaseVirtual();
    bool breakIsReal(detail::OsPort& port, PortRefusal& refusal);
    // `node`: the device node the refusal was found on.
    void refuse(int number, const PortRefusal& refusal, const QByteArray& node);
    // Puts back on the port held what was found at open (DTR only when `restoreDtr`), then
    // closes it.
    void releasePort(bool restoreDtr);
    void lose();

    PortMap m_map;
    detail::OsPlaces m_places;
    std::function<qint64()> m_clock;
    RefusalListener m_listener;
    detail::OsPortPtr m_port;
    QString m_device;
    std::optional<bool> m_breakOn;           // physical state; empty when unknown
    QHash<QString, QByteArray> m_breakTimed; // device -> node whose break passed
    QHash<QString, Lasting> m_lasting;       // device -> its lasting refusal
    QSet<QString> m_said;                    // device and reason already reported

    std::array<std::unique_ptr<VirtualDisplay>, 5> m_virtual; // index 0 = COM1
    VirtualDisplay* m_virtualInUse = nullptr;                 // the port in use when it is emulated

    mutable std::mutex m_refusalMutex;
    std::array<std::optional<PortRefusal>, 5> m_refusals;
};

} // namespace tikvor
