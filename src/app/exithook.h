#pragma once
// For a process that ends without returning from main (the X connection lost: Qt's xcb plugin
// calls exit()): `finish` runs inside exit(), once, so the frame on the line is finished and the
// lines are put at rest before the process goes. It must need nothing of the window system and
// wait a bounded time. Set it once the link exists; set an empty one before main returns.

#include <functional>

namespace tikvor {

void finishAtExit(std::function<void()> finish);

} // namespace tikvor
