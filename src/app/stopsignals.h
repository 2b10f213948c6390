#pragma once
// How a console program is asked to stop: SIGTERM and SIGINT on Unix, Ctrl+C, Ctrl+Break and
// the console closing on Windows. The request is delivered as a call of `stop` on the thread of
// the event loop, never inside a signal handler.

#include <functional>

namespace tikvor {

void onStopRequest(std::function<void()> stop);

} // namespace tikvor
