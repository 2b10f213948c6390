#pragma once
// The five ports as Data.ini maps them: a device through ComLines, or ("virtual") an emulated
// display, owned here. The device class never learns of the displays.
//
// Contract:
// - OpenPort of a port mapped to "virtual" returns n, never busy or refused; the display becomes
//   the port in use and the device held before is released as found. Opening a device releases
//   the display in use once the device has opened (a refused device leaves it in use).
// - DTR and TXD reach the port in use; a display never fails, so it is never lost.
// - refusal, the refusal listener and abandoning are the devices'.
// - virtualDisplay(n) is fixed from construction: read it from any thread.

#include "comlines.h"
#include "display/virtualdisplay.h"

#include <array>
#include <memory>

namespace tikvor {

class MappedPorts final : public SerialLines {
public:
    explicit MappedPorts(const PortMap& map);

    int OpenPort(const QString& mode) override;
    bool DTR(int level) override;
    bool TXD(int level) override;
    std::optional<PortRefusal> refusal(int comNumber) const override
    {
        return m_devices.refusal(comNumber);
    }
    void setRefusalListener(RefusalListener listener) override
    {
        m_devices.setRefusalListener(std::move(listener));
    }
    std::optional<qint64> lineChangeUs() const override
    {
        return m_virtualInUse ? std::nullopt : m_devices.lineChangeUs();
    }
    void setAbandon(std::function<bool()> abandoned) override
    {
        m_devices.setAbandon(std::move(abandoned));
    }

    // The emulated display COMn leads to; null when COMn is mapped to a device.
    VirtualDisplay* virtualDisplay(int comNumber) const;
    ComLines& devices() { return m_devices; }

private:
    void releaseVirtual();

    ComLines m_devices;
    std::array<std::unique_ptr<VirtualDisplay>, 5> m_virtual; // index 0 = COM1
    VirtualDisplay* m_virtualInUse = nullptr;
};

} // namespace tikvor
