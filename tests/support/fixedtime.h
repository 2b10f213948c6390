#pragma once
// A time of day that moves only when a test moves it, counting how often it was read.

#include "clock/clockengine.h"

#include <QTime>

namespace tikvor::test {

class FixedTime : public TimeSource {
public:
    QTime now{9, 5, 7};
    mutable int reads = 0;
    QTime currentTime() const override
    {
        ++reads;
        return now;
    }
};

} // namespace tikvor::test
