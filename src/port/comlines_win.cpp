#include "comlines.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace tikvor::detail {

struct OsPort {
    HANDLE handle = INVALID_HANDLE_VALUE;
    QString name; // as given to CreateFileW, "\\.\COMn"
    // Until the port is accepted: its state as found, so that a refusal can put it back.
    std::optional<DCB> found;
};

namespace {

// "\\.\" lets CreateFileW reach COM10 and above and names that are not DOS devices.
QString fullName(const QString& device)
{
    const QString prefix = QStringLiteral("\\\\.\\");
    if (device.startsWith(prefix))
        return device;
    return prefix + device;
}

// Every field is set here, from a zeroed block: whatever the last program that used the port
// left in the driver must not reach the lines.
DCB wantedState(const PortSettings& settings)
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = DWORD(settings.baud);
    dcb.fBinary = TRUE; // the only mode Windows has
    dcb.fParity = settings.parity != 'N';
    // DTR belongs to the clock alone: no handshake may drive it or wait on the other lines.
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    // Asserted while the port is held, as Linux leaves it on open: a display may draw its power
    // from RTS.
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    // Otherwise one receive error on the unused RXD line makes every later EscapeCommFunction
    // fail until someone calls ClearCommError.
    dcb.fAbortOnError = FALSE;
    // They only act with input flow control, which is off; small enough for any receive buffer a
    // driver checks them against.
    dcb.XonLim = 256;
    dcb.XoffLim = 256;
    dcb.ByteSize = BYTE(settings.dataBits);
    dcb.Parity = settings.parity == 'E'   ? EVENPARITY
                 : settings.parity == 'O' ? ODDPARITY
                                          : NOPARITY;
    dcb.StopBits = settings.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    // SetCommState refuses equal XON and XOFF characters even with XON/XOFF off.
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.ErrorChar = 0;
    dcb.EofChar = 0;
    dcb.EvtChar = 0;
    return dcb;
}

} // namespace

void OsPortDeleter::operator()(OsPort* port) const
{
    if (port->handle != INVALID_HANDLE_VALUE)
        CloseHandle(port->handle);
    delete port;
}

QString osDefaultDevice(int comNumber)
{
    return QStringLiteral("COM%1").arg(comNumber);
}

OsPortPtr osOpen(const QString& device, const QString& /*consolesPath: no console on a COM port*/)
{
    OsPortPtr port(new OsPort);
    port->name = fullName(device);
    // Share mode 0 is the exclusive hold: a second open fails with ERROR_ACCESS_DENIED.
    port->handle = CreateFileW(port->name.toStdWString().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    if (port->handle == INVALID_HANDLE_VALUE)
        return nullptr;
    // Files and pipes open as well; only a character device can be a serial line.
    if (GetFileType(port->handle) != FILE_TYPE_CHAR)
        return nullptr;
    // Fails for anything that is not a serial line (a printer, the NUL device).
    DCB found{};
    found.DCBlength = sizeof found;
    if (!GetCommState(port->handle, &found))
        return nullptr;
    port->found = found;
    return port;
}

bool osIsDevice(const OsPort& port, const QString& device)
{
    return port.name.compare(fullName(device), Qt::CaseInsensitive) == 0;
}

bool osConfigure(OsPort& port, const PortSettings& settings)
{
    DCB wanted = wantedState(settings);
    // An error left pending under the last user's fAbortOnError would fail the calls below;
    // acknowledging it changes nothing else.
    ClearCommError(port.handle, nullptr, nullptr);
    if (SetCommState(port.handle, &wanted) && EscapeCommFunction(port.handle, CLRDTR) &&
        EscapeCommFunction(port.handle, CLRBREAK))
        return true;
    // A device being refused gets back the state it was found in, also after a failed
    // SetCommState, which is several driver requests and can stop halfway. The port already
    // accepted keeps what it has.
    osRestoreFound(port);
    return false;
}

void osRestoreFound(OsPort& port)
{
    // The DCB found also holds how DTR was driven, so this puts DTR back as well.
    if (port.found)
        SetCommState(port.handle, &*port.found);
}

void osAccept(OsPort& port)
{
    port.found.reset();
}

bool osSetDtr(OsPort& port, bool on)
{
    return EscapeCommFunction(port.handle, on ? SETDTR : CLRDTR) != 0;
}

bool osSetBreak(OsPort& port, bool on)
{
    return EscapeCommFunction(port.handle, on ? SETBREAK : CLRBREAK) != 0;
}

} // namespace tikvor::detail
