#include "portmap.h"

#include "comlines_os.h"
#include "startup/files.h"
#include "startup/inireader.h"

#include <QDir>
#include <QFileInfo>
#include <QList>
#include <QStringView>

#include <algorithm>

namespace tikvor {

namespace {

// Rates that both the Windows CBR_ list and termios' B constants have, so a Data.ini moved
// between the systems opens the same way on both.
constexpr std::array<int, 11> kBaudRates{110,  300,   600,   1200,  2400,  4800,
                                         9600, 19200, 38400, 57600, 115200};

// Plain decimal digits only: no sign, no blanks inside, nothing that overflows.
std::optional<int> decimal(QStringView text)
{
    if (text.isEmpty() || text.size() > 9)
        return std::nullopt;
    int value = 0;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

// "COM7" names a Windows port, not a file in the program folder.
bool isBareComName(const QString& device)
{
    return device.startsWith(u"COM", Qt::CaseInsensitive) && decimal(QStringView(device).mid(3));
}

} // namespace

std::optional<std::pair<int, PortSettings>> parseMode(const QString& mode)
{
    const QList<QStringView> fields = QStringView(mode).split(u',');
    if (fields.size() != 5)
        return std::nullopt;
    const QStringView port = fields[0].trimmed();
    if (!port.startsWith(u"COM", Qt::CaseInsensitive))
        return std::nullopt;
    const auto number = decimal(port.mid(3));
    const auto baud = decimal(fields[1].trimmed());
    const QStringView parity = fields[2].trimmed();
    const auto data = decimal(fields[3].trimmed());
    const auto stop = decimal(fields[4].trimmed());
    if (!number || *number < 1 || *number > 5)
        return std::nullopt;
    if (!baud || std::find(kBaudRates.begin(), kBaudRates.end(), *baud) == kBaudRates.end())
        return std::nullopt;
    if (parity.size() != 1)
        return std::nullopt;
    const char parityChar = parity[0].toUpper().toLatin1();
    if (parityChar != 'N' && parityChar != 'E' && parityChar != 'O')
        return std::nullopt;
    if (!data || *data < 5 || *data > 8)
        return std::nullopt;
    if (!stop || (*stop != 1 && *stop != 2))
        return std::nullopt;
    return std::pair{*number, PortSettings{*baud, parityChar, *data, *stop}};
}

PortMap PortMap::defaults()
{
    PortMap map;
    for (int n = 1; n <= int(map.devices.size()); ++n)
        map.devices[n - 1] = detail::osDefaultDevice(n);
    return map;
}

PortMap PortMap::fromIni(const QString& dataIniPath)
{
    // Longest path the old profile API would hand over.
    constexpr int kPathSize = 260;
    const QString section = QStringLiteral("Porty");
    PortMap map = defaults();
    for (int n = 1; n <= int(map.devices.size()); ++n) {
        const QString device = readProfileString(section, QStringLiteral("COM%1").arg(n), QString(),
                                                 kPathSize, dataIniPath)
                                   .trimmed();
        if (device.isEmpty())
            continue;
        // Like every other file the program reads, whatever the working directory.
        map.devices[n - 1] =
            QDir::isRelativePath(device) && !isBareComName(device) && !namesVirtualDisplay(device)
                ? joinPath(QFileInfo(dataIniPath).absolutePath(), device)
                : device;
    }
    const auto flag = [&](const char* key) {
        return readProfileString(section, QLatin1String(key), QString(), 8, dataIniPath)
                   .trimmed() == u"1";
    };
    map.invertDTR = flag("InvertDTR");
    map.invertTXD = flag("InvertTXD");
    return map;
}

} // namespace tikvor
