#include "stopsignals.h"

#include <QCoreApplication>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace tikvor {
namespace {

std::function<void()>* stopRequest = nullptr;

BOOL WINAPI handle(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    // Called on a thread of its own: hand the request to the event loop's thread.
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] { (*stopRequest)(); },
                              Qt::QueuedConnection);
    if (event == CTRL_CLOSE_EVENT)
        Sleep(1000); // the process ends when this returns: leave the frame its time to finish
    return TRUE;
}

} // namespace

void onStopRequest(std::function<void()> stop)
{
    stopRequest = new std::function<void()>(std::move(stop));
    SetConsoleCtrlHandler(handle, TRUE);
}

} // namespace tikvor
