#pragma once
// For a process that ends without returning from main (the X connection lost: Qt's xcb plugin
// calls exit()): the frame on the line finished and the lines put at rest before the process
// goes, waiting at most DisplayLink::StopLimitMs. One link at a time; a link destroyed first is
// forgotten.

namespace tikvor {

class DisplayLink;

void finishLinesAtExit(DisplayLink* link);
void forgetAtExit(DisplayLink* link);

} // namespace tikvor
