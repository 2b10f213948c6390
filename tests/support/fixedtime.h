#pragma once
// A time of day that moves only when a test moves it, counting how often it was read.

#include "clock/clockengine.h"

#include <QTime>
#include <QtGlobal>

#include <ctime>

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

// Central European time with its summer time (from the last Sunday of March to the last of
// October, 01:00 UTC each), for as long as it lives: local time follows TZ.
class ZoneRule {
public:
    ZoneRule() : m_had(qEnvironmentVariableIsSet("TZ")), m_old(qgetenv("TZ"))
    {
        qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
        ::tzset();
    }
    ~ZoneRule()
    {
        if (m_had)
            qputenv("TZ", m_old);
        else
            qunsetenv("TZ");
        ::tzset();
    }
    ZoneRule(const ZoneRule&) = delete;
    ZoneRule& operator=(const ZoneRule&) = delete;

private:
    bool m_had;
    QByteArray m_old;
};

} // namespace tikvor::test
