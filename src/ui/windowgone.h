#pragma once
// A top-level window destroyed from outside the program (xdotool windowclose, XDestroyWindow by
// another client) gets no close event; Qt goes on with a window that is no more. This reports it.
//
// Contract: `gone` runs on the event loop's thread, at most once, when the window system says
// that the window's native window was destroyed by someone else. X11 only; elsewhere (Windows,
// Wayland, offscreen) no other program can destroy the window, and nothing is installed.

#include <functional>

class QWidget;

namespace tikvor {

void onWindowDestroyed(QWidget* window, std::function<void()> gone);

} // namespace tikvor
