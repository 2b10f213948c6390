#pragma once
// The two output lines of the display link, seen from the shift-out.
//
// Contract: level 1 asserts a line, 0 releases it. Each call is at most one
// operation on the device; it returns false when the operation failed (device
// gone, no port open), and the caller then abandons the rest of its frame.
// Which device the calls act on is the implementation's business: it is the
// port most recently opened successfully.

namespace tikvor {

class LineDriver {
public:
    virtual ~LineDriver() = default;
    virtual bool DTR(int level) = 0;
    virtual bool TXD(int level) = 0;
};

} // namespace tikvor
