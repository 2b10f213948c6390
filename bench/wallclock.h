#pragma once
// The wall clock in microseconds: lags are measured against the second as the system shows it.

#include <QtGlobal>

#include <chrono>

inline qint64 wallMicros()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}
