#include "comlines_os.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <array>

namespace tikvor::detail {

struct OsPort {
    HANDLE handle = INVALID_HANDLE_VALUE;
    QString name; // as given to CreateFileW, "\\.\COMn"
    bool accepted = false;
    // Its state as found, put back when it is refused or released.
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

QString systemMessage(DWORD error)
{
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString message = length != 0 ? QString::fromWCharArray(text, int(length)).trimmed()
                                  : QStringLiteral("error %1").arg(error);
    if (text)
        LocalFree(text);
    return message;
}

// Windows says "access denied" for a port another program holds: a COM port opens exclusively
// or not at all, and permission is not the question for it. What no reason covers (a driver's
// ERROR_GEN_FAILURE, a name Windows cannot parse) is Failed, with the system's own message.
PortRefusal::Reason openFailure(DWORD error)
{
    using Reason = PortRefusal::Reason;
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED: // a USB adapter's name kept while it is unplugged
    case ERROR_DEVICE_REMOVED:
        return Reason::Missing;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        return Reason::Busy;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
        return Reason::NotSerialLine;
    default:
        return Reason::Failed;
    }
}

// The DOS name without "\\.\", as QueryDosDeviceW takes it.
QString dosName(const QString& device)
{
    const QString prefix = QStringLiteral("\\\\.\\");
    return device.startsWith(prefix) ? device.mid(prefix.size()) : device;
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

QByteArray osNodeKey(const QString& device)
{
    // A COM name leads to a driver's device object (\Device\Serial0, \Device\VCP0); an
    // adapter put back under the same name may lead elsewhere. Names that are not DOS devices
    // cannot be asked about without opening them and count as unchanged.
    std::array<wchar_t, 1024> target{};
    if (QueryDosDeviceW(dosName(device).toStdWString().c_str(), target.data(),
                        DWORD(target.size())) == 0)
        return GetLastError() == ERROR_FILE_NOT_FOUND ? QByteArray() : device.toUtf8();
    return QString::fromWCharArray(target.data()).toUtf8();
}

OsPortPtr osOpen(const QString& device, const OsPlaces& /*no console or lock files on Windows*/,
                 PortRefusal& refusal)
{
    OsPortPtr port(new OsPort);
    port->name = fullName(device);
    // Share mode 0 is the exclusive hold: a second open fails with ERROR_ACCESS_DENIED.
    port->handle = CreateFileW(port->name.toStdWString().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    if (port->handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        refusal.reason = openFailure(error);
        if (refusal.reason == PortRefusal::Reason::Failed)
            refusal.systemMessage = systemMessage(error);
        return nullptr;
    }
    // Files and pipes open as well; only a character device can be a serial line.
    // GetCommState fails for anything that is not a serial line (a printer, the NUL device).
    DCB found{};
    found.DCBlength = sizeof found;
    if (GetFileType(port->handle) != FILE_TYPE_CHAR || !GetCommState(port->handle, &found)) {
        refusal.reason = PortRefusal::Reason::NotSerialLine;
        return nullptr;
    }
    port->found = found;
    return port;
}

bool osIsDevice(const OsPort& port, const QString& device)
{
    return port.name.compare(fullName(device), Qt::CaseInsensitive) == 0;
}

bool osConfigure(OsPort& port, const PortSettings& settings, PortRefusal& refusal)
{
    DCB wanted = wantedState(settings);
    // An error left pending under the last user's fAbortOnError would fail the calls below;
    // acknowledging it changes nothing else.
    ClearCommError(port.handle, nullptr, nullptr);
    if (!SetCommState(port.handle, &wanted)) {
        refusal.reason = PortRefusal::Reason::Failed;
        refusal.systemMessage = systemMessage(GetLastError());
    } else if (EscapeCommFunction(port.handle, CLRDTR) &&
               EscapeCommFunction(port.handle, CLRBREAK)) {
        return true;
    } else {
        refusal.reason = PortRefusal::Reason::NoModemLines;
    }
    // A device being refused gets back the state it was found in, also after a failed
    // SetCommState, which is several driver requests and can stop halfway. The port already
    // accepted keeps what it has.
    if (!port.accepted && port.found)
        SetCommState(port.handle, &*port.found);
    return false;
}

void osAccept(OsPort& port)
{
    port.accepted = true;
}

void osRelease(OsPort& port, bool clearBreak, bool restoreDtr)
{
    if (clearBreak)
        EscapeCommFunction(port.handle, CLRBREAK);
    if (!port.found)
        return;
    // The DCB found also holds how DTR was driven, so this puts DTR back as well, unless it is
    // to stay released.
    DCB found = *port.found;
    if (!restoreDtr)
        found.fDtrControl = DTR_CONTROL_DISABLE;
    SetCommState(port.handle, &found);
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
