#pragma once
// Serial devices as two control lines: DTR, and TXD held in break. Knows devices only; an
// emulated display is routed around it (MappedPorts).
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
//   called OpenPort. Nothing is written anywhere: the front ends word refusals.
// - A refusal that lasts (fakes break, permission denied, not a serial line, the system console)
//   is remembered with the device node: until the node changes (removed and made again, another
//   inode, device number, modification or change time) OpenPort returns 0 at once without
//   opening the device.
// - Break is timed at the first open of a device node: break on and off, up to three times. When
//   the best pair takes longer than BreakLimitMs the port is refused: an adapter that emulates
//   break by changing the baud rate would stretch a 48-bit frame past ten seconds. A node that
//   passed is not timed again. Half its best pair is what lineChangeUs() tells of the device
//   while it is in use: the line thread's guess at a frame before it has sent one.
// - A device is left as it was found: a refused one has nothing changed before the checks that
//   need no change have passed, and what a later failing step had already changed (settings,
//   DTR, the exclusive flag) is put back. A port released (release(), or another one opened)
//   gets back the settings, DTR state and exclusive flag found at open; at destruction it gets
//   back the settings and the exclusive flag, and DTR stays where the clock left it (at rest):
//   the display clocks on the falling edge that a DTR put back up would make when the close
//   drops it. Break, which no system reports back, is always left off.
// - An open abandoned (setAbandon) releases the device as found and records no refusal.
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

#include "comlines_os.h"
#include "portmap.h"
#include "seriallines.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <mutex>
#include <optional>

namespace tikvor {

class ComLines : public SerialLines {
public:
    explicit ComLines(PortMap map);
    ~ComLines() override;
    ComLines(const ComLines&) = delete;
    ComLines& operator=(const ComLines&) = delete;

    int OpenPort(const QString& mode) override;
    bool DTR(int level) override;
    bool TXD(int level) override;
    std::optional<PortRefusal> refusal(int comNumber) const override;
    void setRefusalListener(RefusalListener listener) override { m_listener = std::move(listener); }
    std::optional<qint64> lineChangeUs() const override;
    void setAbandon(std::function<bool()> abandoned) override
    {
        m_abandoned = std::move(abandoned);
    }

    // No device is in use any more; the one held gets back what was found at open.
    void release() { releasePort(true); }
    bool isOpen() const { return m_port != nullptr; }
    // The device path of the port in use, empty when none.
    QString currentDevice() const { return m_device; }

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
    // 1: break is real; 0: refused (reason in `refusal`); -1: abandoned.
    int breakIsReal(detail::OsPort& port, const QString& device, PortRefusal& refusal);
    bool abandoned() const { return m_abandoned && m_abandoned(); }
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
    std::function<bool()> m_abandoned;
    detail::OsPortPtr m_port;
    QString m_device;
    std::optional<bool> m_breakOn;           // physical state; empty when unknown
    QHash<QString, QByteArray> m_breakTimed; // device -> node whose break passed
    QHash<QString, qint64> m_changeUs;       // device -> a line change, as break's timing took
    QHash<QString, Lasting> m_lasting;       // device -> its lasting refusal
    QSet<QString> m_said;                    // device and reason already reported

    mutable std::mutex m_refusalMutex;
    std::array<std::optional<PortRefusal>, 5> m_refusals;
};

} // namespace tikvor
