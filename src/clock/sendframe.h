#pragma once
// Clocks a frame out on the display link: for each character, last one first,
// DTR up, TXD to the bit, DTR down. The first failing line operation, or a
// character that is not a decimal digit, ends the frame silently; the next
// frame always starts again from the last character.

#include "clockstate.h"
#include "linedriver.h"

namespace tikvor {

// Sends state.FrameBits, keeping ShiftPosition and ShiftCounter as its loop
// variables. Returns the number of characters sent completely.
int SendFrame(ClockState& state, LineDriver& lines);

} // namespace tikvor
