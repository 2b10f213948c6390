#include "comlines.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace tikvor {

namespace {

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

} // namespace

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

ComLines::ComLines(PortMap map)
    : m_map(std::move(map)), m_clock([] {
          return qint64(std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count());
      })
{
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
    if (abandoned())
        return 0;

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
    if (opened && abandoned()) { // nothing changed on it yet
        detail::osRelease(*opened, false, false);
        return 0;
    }
    if (!opened || !detail::osConfigure(*opened, settings, refusal)) {
        refuse(number, refusal, node);
        return 0;
    }
    // The scan opens every port and then the chosen one again; break is timed once per node.
    if (m_breakTimed.value(device) != node || node.isEmpty()) {
        const int real = abandoned() ? -1 : breakIsReal(*opened, device, refusal);
        if (real != 1) {
            // Each timing ended with break off, unless a call failed.
            detail::osRelease(*opened, refusal.reason != PortRefusal::Reason::FakesBreak, true);
            if (real == 0)
                refuse(number, refusal, node);
            return 0;
        }
        m_breakTimed.insert(device, node);
    }
    detail::osAccept(*opened);
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

int ComLines::breakIsReal(detail::OsPort& port, const QString& device, PortRefusal& refusal)
{
    // An adapter that fakes break by switching to a low baud rate and sending a zero byte takes
    // some 200 ms per change; real ones take about a millisecond. A loaded machine can stretch
    // one timing of a sound line past the limit, hardly three.
    constexpr int kTries = 3;
    constexpr qint64 kLimitNs = qint64(BreakLimitMs) * 1'000'000;
    qint64 best = 0;
    for (int i = 0; i < kTries; ++i) {
        if (i > 0 && abandoned())
            return -1;
        const qint64 start = m_clock();
        if (!detail::osSetBreak(port, true) || !detail::osSetBreak(port, false)) {
            refusal.reason = PortRefusal::Reason::NoModemLines;
            return 0;
        }
        const qint64 took = m_clock() - start;
        if (took <= kLimitNs) {
            m_changeUs.insert(device, took / 2000); // two changes, in microseconds
            return 1;
        }
        best = i == 0 ? took : std::min(best, took);
    }
    refusal.reason = PortRefusal::Reason::FakesBreak;
    refusal.breakMs = double(best) / 1e6;
    return 0;
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

std::optional<qint64> ComLines::lineChangeUs() const
{
    const auto found = m_changeUs.constFind(m_device);
    return m_port && found != m_changeUs.cend() ? std::optional<qint64>(*found) : std::nullopt;
}

bool ComLines::DTR(int level)
{
    if (!m_port)
        return false;
    if (detail::osSetDtr(*m_port, (level != 0) != m_map.invertDTR))
        return true;
    lose();
    return false;
}

bool ComLines::TXD(int level)
{
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
