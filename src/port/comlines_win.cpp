#include "comlines.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace tikvor::detail {

struct OsPort {
    HANDLE handle = INVALID_HANDLE_VALUE;
    QString name; // as given to CreateFileA, "\\.\COMn"
};

namespace {

// "\\.\" lets CreateFileA reach COM10 and above and names that are not DOS devices.
QString fullName(const QString& device)
{
    const QString prefix = QStringLiteral("\\\\.\\");
    if (device.startsWith(prefix))
        return device;
    return prefix + device;
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
    port->handle = CreateFileA(port->name.toLocal8Bit().constData(), GENERIC_READ | GENERIC_WRITE,
                               0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port->handle == INVALID_HANDLE_VALUE)
        return nullptr;
    // Files and pipes open as well; only a character device can be a serial line.
    if (GetFileType(port->handle) != FILE_TYPE_CHAR)
        return nullptr;
    return port;
}

bool osIsDevice(const OsPort& port, const QString& device)
{
    return port.name.compare(fullName(device), Qt::CaseInsensitive) == 0;
}

bool osConfigure(OsPort& port, const PortSettings& settings)
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    // Fails for anything that is not a serial line (a printer, the NUL device).
    if (!GetCommState(port.handle, &dcb))
        return false;
    dcb.BaudRate = DWORD(settings.baud);
    dcb.ByteSize = BYTE(settings.dataBits);
    dcb.Parity = settings.parity == 'E'   ? EVENPARITY
                 : settings.parity == 'O' ? ODDPARITY
                                          : NOPARITY;
    dcb.StopBits = settings.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = settings.parity != 'N';
    // DTR belongs to the clock alone: no handshake may drive it or wait on the other lines.
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    if (!SetCommState(port.handle, &dcb))
        return false;
    return EscapeCommFunction(port.handle, CLRDTR) && EscapeCommFunction(port.handle, CLRBREAK);
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
