#pragma once
// The one property in which Tikvor_0 differs from Tikvor_1: its window has no taskbar button.
// Everything else stays as it is: an ordinary top-level window with its caption, icon and
// minimise box, which ends the program when it is closed.
//
// Contract: call once on the program's top-level window before it is first shown.
// - X11: the window type stays NORMAL; _NET_WM_STATE_SKIP_TASKBAR is written on the window
//   before each mapping and asked of the window manager once it is mapped and after each
//   restore, so that it survives minimise and restore.
// - Windows: the window is owned by a hidden window; an owned window gets no taskbar button.
// - Elsewhere (Wayland, offscreen) there is no way to ask for it, and the window keeps its
//   button.

class QWidget;

namespace tikvor {

void keepOffTaskbar(QWidget* window);

} // namespace tikvor
