#include "mappedports.h"

namespace tikvor {

MappedPorts::MappedPorts(const PortMap& map) : m_devices(map)
{
    for (int n = 1; n <= int(m_virtual.size()); ++n) {
        if (namesVirtualDisplay(map.devices[size_t(n - 1)]))
            m_virtual[size_t(n - 1)] = std::make_unique<VirtualDisplay>(n);
    }
}

VirtualDisplay* MappedPorts::virtualDisplay(int comNumber) const
{
    if (comNumber < 1 || comNumber > int(m_virtual.size()))
        return nullptr;
    return m_virtual[size_t(comNumber - 1)].get();
}

int MappedPorts::OpenPort(const QString& mode)
{
    const auto parsed = parseMode(mode);
    VirtualDisplay* display = parsed ? virtualDisplay(parsed->first) : nullptr;
    if (!display) {
        const int opened = m_devices.OpenPort(mode);
        if (opened != 0)
            releaseVirtual();
        return opened;
    }
    m_devices.release();
    if (m_virtualInUse != display)
        releaseVirtual();
    display->open();
    m_virtualInUse = display;
    return parsed->first;
}

void MappedPorts::releaseVirtual()
{
    if (m_virtualInUse)
        m_virtualInUse->release();
    m_virtualInUse = nullptr;
}

bool MappedPorts::DTR(int level)
{
    return m_virtualInUse ? m_virtualInUse->DTR(level) : m_devices.DTR(level);
}

bool MappedPorts::TXD(int level)
{
    return m_virtualInUse ? m_virtualInUse->TXD(level) : m_devices.TXD(level);
}

} // namespace tikvor
