#pragma once
// Where COM1 to COM5 lead, and how a port is asked for.
//
// Contract:
// - PortMap::fromIni reads the optional section "Porty" of Data.ini over the defaults ("COMn" on
//   Windows, "/dev/ttyS<n-1>" elsewhere): keys COM1..COM5 (a device path; empty keeps the
//   default; a relative path is taken from the folder of Data.ini, a bare "COMn" and "virtual"
//   are kept as they are), InvertDTR=1, InvertTXD=1 (any other value: off).
// - parseMode takes "COMn,baud,parity,data,stop" with n 1..5, a baud rate both Windows and
//   termios name, parity N/E/O in either case, 5..8 data bits, 1 or 2 stop bits; blanks around
//   fields are allowed.

#include "portsettings.h"

#include <QString>

#include <array>
#include <optional>
#include <utility>

namespace tikvor {

struct PortMap {
    std::array<QString, 5> devices; // index 0 = COM1
    bool invertDTR = false;
    bool invertTXD = false;

    static PortMap defaults();
    static PortMap fromIni(const QString& dataIniPath);
};

std::optional<std::pair<int, PortSettings>> parseMode(const QString& mode);

// Whether a [Porty] value asks for the emulated display instead of a device: "virtual", any case.
inline bool namesVirtualDisplay(const QString& device)
{
    return device.compare(QLatin1StringView("virtual"), Qt::CaseInsensitive) == 0;
}

} // namespace tikvor
