#pragma once
// The state of the clock that the tick, the start-up and the port choice share, kept by the
// display core for whichever front end shows it. Field names are the clock's own vocabulary.

#include <QString>
#include <QtGlobal>
#include <array>

namespace tikvor {

struct ClockState {
    QString HourTens;
    QString HourUnits;
    QString MinuteTens;
    QString MinuteUnits;
    QString SecondTens;
    QString SecondUnits;
    float BlinkSign = 0.0f; // +1 or -1 once the first tick has run
    QString FrameBits;      // 48 characters "0"/"1", seconds units first
    QString VersionBuffer;  // scratch buffer of the data-file version query
    qint16 PortClosed = 0;  // 0 = a port is open, -1 = frames are built but never sent
    QString PortCaption;    // "Tikvor - COMn", or "Tikvor - COM0" without a port
};

// Ten segment patterns, indexed by the digit they draw.
using CharacterTable = std::array<QString, 10>;

inline constexpr qint16 True16 = -1;
inline constexpr qint16 False16 = 0;

} // namespace tikvor
