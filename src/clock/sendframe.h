#pragma once
// Clocks a frame out on the display link: for each character, last one first,
// DTR up, TXD to the bit, DTR down. The first failing line operation, or a
// character that is not a decimal digit, ends the frame silently; the next
// frame always starts again from the last character.

#include "linedriver.h"

#include <QString>

namespace tikvor {

// Sends frameBits; its position and loop counter live and die with the call.
// Returns the number of characters sent completely.
int SendFrame(const QString& frameBits, LineDriver& lines);

} // namespace tikvor
