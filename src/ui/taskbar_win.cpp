#include "taskbar.h"

#include <QWidget>
#include <QWindow>

namespace tikvor {

void keepOffTaskbar(QWidget* window)
{
    // Created, never shown, alive to the end of the program. Qt hands the transient parent to
    // Windows as the owner (GWLP_HWNDPARENT) each time the window is shown.
    static QWindow* const owner = [] {
        auto* hidden = new QWindow;
        hidden->create();
        return hidden;
    }();
    window->winId();
    window->windowHandle()->setTransientParent(owner);
}

} // namespace tikvor
