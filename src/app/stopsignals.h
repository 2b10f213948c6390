#pragma once
// How a program is asked to stop from outside, other than through its window:
// - Linux and other Unix: SIGTERM (systemctl, kill, the session ending), SIGINT (Ctrl+C) and
//   SIGHUP (the terminal or ssh session that started it closing). The handler only writes a
//   byte to a pipe; the event loop reads it. SIGPIPE is ignored from then on: a write to a
//   reader that went away fails with EPIPE rather than ending the program.
// - Windows, for the console program: Ctrl+C, Ctrl+Break, the console closing, logoff and
//   shutdown. The handler runs on a thread of its own; for the events after which Windows ends
//   the process as soon as the handler returns, it waits (under Windows' 5 s) until
//   stopFinished() has been called.
// - Windows, for every program: a hidden top-level window on a thread of its own hears the
//   session's end (WM_ENDSESSION, answered once stopFinished() has been called, within 5 s)
//   and WM_CLOSE (taskkill without /F), as sessionmessages.h says.
//
// Contract: call onStopRequest once, after the application object exists. `stop` runs on the
// thread of the event loop, never inside a handler, at most once. Call stopFinished() once the
// program is at rest, just before it returns.

#include <functional>

namespace tikvor {

void onStopRequest(std::function<void()> stop);
void stopFinished();

} // namespace tikvor
