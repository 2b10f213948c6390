#include "comlines.h"

#include "clock/frame.h"
#include "startup/inireader.h"

#include <QDir>
#include <QFileInfo>
#include <QList>
#include <QStringView>

#include <algorithm>
#include <chrono>
#include <cstdio>

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

std::optional<unsigned> decimal(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 9)
        return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + unsigned(c - '0');
    }
    return value;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
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

bool isSystemConsole(unsigned major, unsigned minor, QByteArrayView consoles)
{
    // 5:0 is the controlling terminal and 5:1 /dev/console; either may be the console itself
    // under a name /proc/consoles does not show.
    if (major == 5 && minor <= 1)
        return true;
    for (QByteArrayView line :
         QByteArray::fromRawData(consoles.data(), consoles.size()).split('\n')) {
        while (!line.isEmpty() && isBlank(line.back()))
            line.chop(1);
        qsizetype start = line.size();
        while (start > 0 && !isBlank(line[start - 1]))
            --start;
        const QByteArrayView number = line.sliced(start);
        const qsizetype colon = number.indexOf(':');
        if (colon < 0)
            continue;
        if (decimal(number.first(colon)) == major && decimal(number.sliced(colon + 1)) == minor)
            return true;
    }
    return false;
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
        map.devices[n - 1] = QDir::isRelativePath(device) && !isBareComName(device)
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

ComLines::ComLines(PortMap map)
    : map_(std::move(map)), clock_([] {
          return qint64(std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count());
      })
{
}

ComLines::~ComLines() = default;

int ComLines::OpenPort(const QString& mode)
{
    const auto parsed = parseMode(mode);
    if (!parsed)
        return 0;
    const auto& [number, settings] = *parsed;
    const QString& device = map_.devices[number - 1];
    if (device.isEmpty())
        return 0;

    // Our own exclusive hold would make a second open of the same device fail.
    if (port_ && detail::osIsDevice(*port_, device)) {
        breakOn_.reset();
        if (detail::osConfigure(*port_, settings)) {
            breakOn_ = false;
            device_ = device;
            return number;
        }
        // The handle of an adapter that was pulled out stays dead after it is back; only a
        // fresh open by name reaches it, and our own hold on the old one would refuse that.
        port_.reset();
        device_.clear();
    }

    detail::OsPortPtr opened = detail::osOpen(device, consolesPath_);
    if (!opened || !detail::osConfigure(*opened, settings))
        return 0;
    if (!breakIsReal(*opened, device)) {
        detail::osRestoreFound(*opened);
        return 0;
    }
    detail::osAccept(*opened);
    port_ = std::move(opened);
    device_ = device;
    breakOn_ = false;
    return number;
}

bool ComLines::breakIsReal(detail::OsPort& port, const QString& device)
{
    // An adapter that fakes break by switching to a low baud rate and sending a zero byte takes
    // some 200 ms per change; real ones take about a millisecond.
    constexpr qint64 kLimitNs = 20'000'000;
    const qint64 start = clock_();
    if (!detail::osSetBreak(port, true) || !detail::osSetBreak(port, false))
        return false;
    const qint64 took = clock_() - start;
    if (took <= kLimitNs)
        return true;
    std::fprintf(stderr,
                 "Tikvor: %s refused: break on and off took %.1f ms (an adapter that fakes break; "
                 "at most %d ms)\n",
                 device.toLocal8Bit().constData(), double(took) / 1e6, int(kLimitNs / 1'000'000));
    std::fflush(stderr);
    return false;
}

bool ComLines::DTR(int level)
{
    if (!port_)
        return false;
    return detail::osSetDtr(*port_, (level != 0) != map_.invertDTR);
}

bool ComLines::TXD(int level)
{
    if (!port_)
        return false;
    const bool on = (level != 0) != map_.invertTXD;
    if (breakOn_ == on)
        return true;
    breakOn_.reset();
    if (!detail::osSetBreak(*port_, on))
        return false;
    breakOn_ = on;
    return true;
}

} // namespace tikvor
