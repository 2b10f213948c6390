#pragma once
// What the display shows, as text: for a log line and for a terminal.
//
// Contract:
// - digitSegments(d) is the usual seven-segment shape of digit d (0..9), dot dark.
// - positionText gives one position's digit, the letter of its segment when a single one of a
//   to g is lit (as a wiring step lights them), "?" for other lit segments that form no digit,
//   a blank when a to g are all dark, followed by "." when its dot is lit.
// - displayLine joins the six positions left to right ("1.2.3.456", "1234.5.7.").
// - displayDrawing draws the six positions in three text lines of equal length, each position
//   three columns wide with its dot in a fourth, bottom right.

#include "virtualdisplay.h"

#include <QString>
#include <QStringList>

namespace tikvor {

quint8 digitSegments(int digit);
QString positionText(quint8 segments);
QString displayLine(const DisplaySegments& shown);
QStringList displayDrawing(const DisplaySegments& shown);

} // namespace tikvor
