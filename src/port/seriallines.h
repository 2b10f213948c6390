#pragma once
// The serial-line layer as the port handling sees it: the two lines of the
// display link plus OpenPort. ComLines is the real one; tests record calls.

#include "clock/linedriver.h"

#include <QString>

namespace tikvor {

class SerialLines : public LineDriver {
public:
    // "COMn,1200,N,8,1"; 0 when the port cannot be opened, nonzero when it is now the one in use.
    virtual int OpenPort(const QString& mode) = 0;
};

} // namespace tikvor
