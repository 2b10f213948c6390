#pragma once
// Pure pieces of the tick: digits from a time, the display frame, the marker
// position, the picture names. No window, no clock, no device.

#include "clockstate.h"

#include <QTime>

namespace tikvor {

inline constexpr int FrameLength = 48;
inline constexpr int PatternLength = 8;

// Splits one reading of the clock into the six one-character digit fields.
void setDigits(ClockState& state, QTime time);

// The 48-character frame: patterns of seconds units, seconds tens, minutes units, minutes tens,
// hours units, hours tens; the last character of every group is then the dot bit chosen by
// BlinkSign (-1: groups 1-3 lit, otherwise groups 4-6 lit). Returns an empty text when a digit
// field does not hold a single decimal digit. Patterns are expected to be 8 characters long;
// a shorter or longer one is fitted to 8 (padded with "0" or cut) so nothing shifts.
QString buildFrame(const CharacterTable& table, const ClockState& state);

// Two halves of the frame separated by one blank, as the frame label shows them.
QString frameLabelText(const QString& frame);

// Left edge of the seconds marker in twips: 120 at second 0, 3719 at second 59.
int markerLeft(int second);

// "1" for +1, "-1" for -1: the suffix of the colon picture.
QString blinkText(float blinkSign);

// Relative picture names ("data/0.gif") for Image1 to Image7, in that order.
std::array<QString, 7> pictureNames(const ClockState& state);

} // namespace tikvor
