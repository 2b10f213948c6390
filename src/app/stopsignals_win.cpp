#include "stopsignals.h"

#include <QCoreApplication>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace tikvor {
namespace {

std::function<void()>* stopRequest = nullptr;
HANDLE stoppedEvent = nullptr;

BOOL WINAPI handle(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        break;
    default:
        return FALSE;
    }
    // Called on a thread of its own: hand the request to the event loop's thread.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { (*stopRequest)(); }, Qt::QueuedConnection);
    // After these Windows ends the process as soon as the handler returns (and at the latest
    // after 5 s): hold it until the frame is finished and the lines are at rest.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        WaitForSingleObject(stoppedEvent, 4500);
    return TRUE;
}

} // namespace

void onStopRequest(std::function<void()> stop)
{
    stopRequest = new std::function<void()>(std::move(stop));
    stoppedEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(handle, TRUE);
}

void stopFinished()
{
    if (stoppedEvent)
        SetEvent(stoppedEvent);
}

} // namespace tikvor
