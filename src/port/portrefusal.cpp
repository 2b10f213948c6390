#include "portrefusal.h"

namespace tikvor {

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

} // namespace tikvor
