#pragma once
// For a process that ends without returning from main (the X connection lost: Qt's xcb plugin
// calls exit(1)): `finish` runs inside exit(), once, so the frame on the line is finished and the
// lines are put at rest before the process goes; then the process ends at once with status 0,
// whatever exit() was given, running no further exit handlers. `finish` must need nothing of the
// window system, wait a bounded time and push out what the program still has to say. Set it once
// the link exists; set an empty one before main returns.

#include <functional>

namespace tikvor {

void finishAtExit(std::function<void()> finish);

} // namespace tikvor
