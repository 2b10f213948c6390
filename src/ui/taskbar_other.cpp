#include "taskbar.h"

namespace tikvor {

// No window system here that could be asked to leave the window off a taskbar.
void keepOffTaskbar(QWidget*) {}

} // namespace tikvor
