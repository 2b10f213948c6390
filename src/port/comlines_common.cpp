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
#include <cstring>

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

qint64 lockFilePid(QByteArrayView content)
{
    if (const auto pid = decimal(content.trimmed()))
        return *pid;
    if (content.size() == 4) {
        qint32 pid = 0;
        std::memcpy(&pid, content.data(), sizeof pid);
        return pid > 0 ? pid : 0;
    }
    return 0;
}

bool PortRefusal::lasts() const
{
    switch (reason) {
    case Reason::PermissionDenied:
    case Reason::NotSerialLine:
    case Reason::FakesBreak:
    case Reason::SystemConsole:
        return true;
    case Reason::Missing:
    case Reason::Busy:
    case Reason::NoModemLines:
    case Reason::Failed:
        break;
    }
    return false;
}

QString describe(const PortRefusal& refusal)
{
    using Reason = PortRefusal::Reason;
    QString why;
    switch (refusal.reason) {
    case Reason::Missing:
        why = QStringLiteral("no such device");
        break;
    case Reason::Busy:
        why = QStringLiteral("in use by another program");
        if (refusal.holderPid != 0)
            why += QStringLiteral(" (process %1, lock file %2)")
                       .arg(refusal.holderPid)
                       .arg(QDir::toNativeSeparators(refusal.lockFile));
        else if (refusal.exclusiveByOther)
            why += QStringLiteral(" (which marked it exclusive)");
        break;
    case Reason::PermissionDenied:
        why = QStringLiteral("permission denied");
        if (!refusal.group.isEmpty())
            why += QStringLiteral(" (join the group \"%1\" that owns it, then log in again)")
                       .arg(refusal.group);
        break;
    case Reason::NotSerialLine:
        why = QStringLiteral("not a serial line");
        break;
    case Reason::NoModemLines:
        why = QStringLiteral("its DTR and break lines cannot be driven");
        break;
    case Reason::FakesBreak:
        why = QStringLiteral("break on and off took %1 ms at best of three (an adapter that fakes "
                             "break; at most %2 ms)")
                  .arg(refusal.breakMs, 0, 'f', 1)
                  .arg(ComLines::BreakLimitMs);
        break;
    case Reason::SystemConsole:
        why = QStringLiteral("it may be the system console");
        break;
    case Reason::Failed:
        why = QStringLiteral("the system refused it");
        break;
    }
    if (!refusal.systemMessage.isEmpty() && refusal.reason != Reason::FakesBreak)
        why += QStringLiteral(": ") + refusal.systemMessage;
    return QStringLiteral("%1 refused: %2").arg(refusal.device, why);
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

ComLines::ComLines(PortMap map)
    : m_map(std::move(map)), m_clock([] {
          return qint64(std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count());
      }),
      m_listener([](int, const PortRefusal& refusal) {
          std::fprintf(stderr, "Tikvor: %s\n", describe(refusal).toLocal8Bit().constData());
          std::fflush(stderr);
      })
{
    for (int n = 1; n <= int(m_virtual.size()); ++n) {
        if (namesVirtualDisplay(m_map.devices[n - 1]))
            m_virtual[n - 1] = std::make_unique<VirtualDisplay>(n);
    }
}

ComLines::~ComLines()
{
    // The end of the program: the lines stay at rest for the display to keep its last frame.
    releasePort(false);
}

std::optional<PortRefusal> ComLines::refusal(int comNumber) const
{
    if (comNumber < 1 || comNumber > int(m_refusals.size()))
        return std::nullopt;
    const std::lock_guard lock(m_refusalMutex);
    return m_refusals[comNumber - 1];
}

VirtualDisplay* ComLines::virtualDisplay(int comNumber) const
{
    if (comNumber < 1 || comNumber > int(m_virtual.size()))
        return nullptr;
    return m_virtual[comNumber - 1].get();
}

void ComLines::refuse(int number, const PortRefusal& refusal, const QByteArray& node)
{
    {
        const std::lock_guard lock(m_refusalMutex);
        m_refusals[number - 1] = refusal;
    }
    if (refusal.lasts())
        m_lasting.insert(refusal.device, {node, refusal});
    // Once per run: a port the scan or lost-and-found asks for every second must not fill a
    // journal.
    const QString said = QStringLiteral("%1\n%2").arg(refusal.device).arg(int(refusal.reason));
    if (m_said.contains(said))
        return;
    m_said.insert(said);
    if (m_listener)
        m_listener(number, refusal);
}

int ComLines::OpenPort(const QString& mode)
{
    const auto parsed = parseMode(mode);
    if (!parsed)
        return 0;
    const auto& [number, settings] = *parsed;
    const QString& device = m_map.devices[number - 1];
    if (device.isEmpty())
        return 0;
    if (m_virtual[number - 1])
        return openVirtual(number, mode);

    // Our own exclusive hold would make a second open of the same device fail.
    if (m_port && detail::osIsDevice(*m_port, device)) {
        m_breakOn.reset();
        PortRefusal ignored;
        if (detail::osConfigure(*m_port, settings, ignored)) {
            m_breakOn = false;
            m_device = device;
            return number;
        }
        // The handle of an adapter that was pulled out stays dead after it is back; only a
        // fresh open by name reaches it, and our own hold on the old one would refuse that.
        lose();
    }

    if (const auto lasting = m_lasting.constFind(device); lasting != m_lasting.cend()) {
        // Opening it again would only repeat the refusal (and time a fake break once more).
        if (lasting->node == detail::osNodeKey(device)) {
            const Lasting same = *lasting;
            refuse(number, same.refusal, same.node);
            return 0;
        }
        m_lasting.erase(lasting);
    }
    return openFresh(number, device, settings);
}

int ComLines::openFresh(int number, const QString& device, const PortSettings& settings)
{
    PortRefusal refusal;
    refusal.device = device;
    // Taken before the open, so that a node replaced meanwhile is timed again next time.
    const QByteArray node = detail::osNodeKey(device);
    detail::OsPortPtr opened = detail::osOpen(device, m_places, refusal);
    if (!opened || !detail::osConfigure(*opened, settings, refusal)) {
        refuse(number, refusal, node);
        return 0;
    }
    // The scan opens every port and then the chosen one again; break is timed once per node.
    if (m_breakTimed.value(device) != node || node.isEmpty()) {
        if (!breakIsReal(*opened, refusal)) {
            // Each timing ended with break off, unless a call failed.
            detail::osRelease(*opened, refusal.reason != PortRefusal::Reason::FakesBreak, true);
            refuse(number, refusal, node);
            return 0;
        }
        m_breakTimed.insert(device, node);
    }
    detail::osAccept(*opened);
    releaseVirtual();
    releasePort(true);
    m_port = std::move(opened);
    m_device = device;
    m_breakOn = false;
    {
        const std::lock_guard lock(m_refusalMutex);
        m_refusals[number - 1].reset();
    }
    return number;
}

int ComLines::openVirtual(int number, const QString& mode)
{
    VirtualDisplay* display = m_virtual[number - 1].get();
    releasePort(true);
    if (m_virtualInUse != display)
        releaseVirtual();
    const int opened = display->OpenPort(mode);
    m_virtualInUse = display;
    m_device = m_map.devices[number - 1];
    return opened;
}

void ComLines::releaseVirtual()
{
    if (m_virtualInUse)
        m_virtualInUse->release();
    m_virtualInUse = nullptr;
}

bool ComLines::breakIsReal(detail::OsPort& port, PortRefusal& refusal)
{
    // An adapter that fakes break by switching to a low baud rate and sending a zero byte takes
    // some 200 ms per change; real ones take about a millisecond. A loaded machine can stretch
    // one timing of a sound line past the limit, hardly three.
    constexpr int kTries = 3;
    constexpr qint64 kLimitNs = qint64(BreakLimitMs) * 1'000'000;
    qint64 best = 0;
    for (int i = 0; i < kTries; ++i) {
        const qint64 start = m_clock();
        if (!detail::osSetBreak(port, true) || !detail::osSetBreak(port, false)) {
            refusal.reason = PortRefusal::Reason::NoModemLines;
            return false;
        }
        const qint64 took = m_clock() - start;
        if (took <= kLimitNs)
            return true;
        best = i == 0 ? took : std::min(best, took);
    }
    refusal.reason = PortRefusal::Reason::FakesBreak;
    refusal.breakMs = double(best) / 1e6;
    return false;
}

void ComLines::releasePort(bool restoreDtr)
{
    if (!m_port)
        return;
    // Break may be on only where the last call said so or failed.
    detail::osRelease(*m_port, m_breakOn != false, restoreDtr);
    m_port.reset();
    m_device.clear();
    m_breakOn.reset();
}

void ComLines::lose()
{
    // The handle is dead: nothing can be put back through it.
    m_port.reset();
    m_device.clear();
    m_breakOn.reset();
}

bool ComLines::DTR(int level)
{
    if (m_virtualInUse)
        return m_virtualInUse->DTR(level);
    if (!m_port)
        return false;
    if (detail::osSetDtr(*m_port, (level != 0) != m_map.invertDTR))
        return true;
    lose();
    return false;
}

bool ComLines::TXD(int level)
{
    if (m_virtualInUse)
        return m_virtualInUse->TXD(level);
    if (!m_port)
        return false;
    const bool on = (level != 0) != m_map.invertTXD;
    if (m_breakOn == on)
        return true;
    if (detail::osSetBreak(*m_port, on)) {
        m_breakOn = on;
        return true;
    }
    lose();
    return false;
}

} // namespace tikvor
