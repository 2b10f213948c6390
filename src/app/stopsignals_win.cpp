#include "stopsignals.h"

#include "sessionmessages.h"

#include <QCoreApplication>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <thread>

namespace tikvor {
namespace {

std::function<void()>* stopRequest = nullptr;
HANDLE stoppedEvent = nullptr;
// Under the 5 s after which Windows ends a process that still holds up a console event or the
// end of the session.
constexpr DWORD StopWaitMs = 4500;

void requestStop()
{
    // From a thread of its own: hand the request to the event loop's thread.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { (*stopRequest)(); }, Qt::QueuedConnection);
}

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
    requestStop();
    // After these Windows ends the process as soon as the handler returns (and at the latest
    // after 5 s): hold it until the frame is finished and the lines are at rest.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        WaitForSingleObject(stoppedEvent, StopWaitMs);
    return TRUE;
}

// A program that loads user32 (Qt Core does) gets no CTRL_LOGOFF_EVENT or CTRL_SHUTDOWN_EVENT:
// Windows tells it of the session's end by messages to its top-level windows instead. This
// hidden window hears them, on a thread of its own, so that it may hold the answer while the
// event loop stops the link.
LRESULT CALLBACK sessionProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (sessionAction(message, wParam)) {
    case SessionAction::AllowEnd:
        return TRUE;
    case SessionAction::StopAndWait:
        requestStop();
        WaitForSingleObject(stoppedEvent, StopWaitMs);
        return 0;
    case SessionAction::Stop:
        requestStop();
        return 0;
    case SessionAction::Default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void runSessionWindow()
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &sessionProcedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"TikvorSessionWindow";
    RegisterClassExW(&windowClass);
    // Top-level (a message-only window hears no session messages), never shown.
    if (!CreateWindowExW(WS_EX_TOOLWINDOW, windowClass.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0,
                         nullptr, nullptr, instance, nullptr))
        return;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
}

} // namespace

void onStopRequest(std::function<void()> stop)
{
    stopRequest = new std::function<void()>(std::move(stop));
    stoppedEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(handle, TRUE);
    // Lives as long as the process: its last answer may be the process's end.
    std::thread(runSessionWindow).detach();
}

void stopFinished()
{
    if (stoppedEvent)
        SetEvent(stoppedEvent);
}

} // namespace tikvor
