#pragma once
// The serial-line layer as the line thread and the port choice see it: the two lines of the
// display link, OpenPort that makes a port the one they act on, and why a port was refused.
// MappedPorts is the real one (devices through ComLines, emulated displays beside them); tests
// record calls.

#include "clock/linedriver.h"
#include "portrefusal.h"

#include <QString>

#include <functional>
#include <optional>

namespace tikvor {

class SerialLines : public LineDriver {
public:
    using RefusalListener = std::function<void(int comNumber, const PortRefusal& refusal)>;

    // "COMn,1200,N,8,1"; 0 when the port cannot be opened, nonzero when it is now the one in use.
    virtual int OpenPort(const QString& mode) = 0;

    // Why COMn was last refused since it last opened; none where the lines cannot tell. Any
    // thread.
    virtual std::optional<PortRefusal> refusal(int /*comNumber*/) const { return std::nullopt; }
    // Hears each refusal of a device for a reason once, on the thread that called OpenPort. Set
    // before the first OpenPort.
    virtual void setRefusalListener(RefusalListener /*listener*/) {}
    // Once `abandoned` says so (the program is ending), an open in progress gives up between two
    // of its steps and returns 0, the device left as found, and no further open is made. Set
    // before the first OpenPort; called on the thread that opens.
    virtual void setAbandon(std::function<bool()> /*abandoned*/) {}
    // What one line change took on the port in use, where the layer timed one while opening it
    // (ComLines times break on and off once per device); empty where it did not. Called on the
    // thread that opens.
    virtual std::optional<qint64> lineChangeUs() const { return std::nullopt; }
};

} // namespace tikvor
