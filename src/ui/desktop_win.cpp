#include "desktop.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QWidget>

#include <string>
#include <thread>

namespace tikvor {
namespace {

// The command interpreter by its full path: %ComSpec%, else cmd.exe in the System32 folder.
// Never a bare "cmd", which would be searched for in the program's and the working folder first.
std::wstring commandInterpreter()
{
    wchar_t buffer[MAX_PATH * 2];
    DWORD length = GetEnvironmentVariableW(L"ComSpec", buffer, DWORD(std::size(buffer)));
    if (length > 0 && length < std::size(buffer))
        return std::wstring(buffer, length);
    length = GetSystemDirectoryW(buffer, UINT(std::size(buffer)));
    if (length == 0 || length >= std::size(buffer))
        return {};
    return std::wstring(buffer, length) + L"\\cmd.exe";
}

// The ordinary console, as any program would start it.
bool startConsole(const std::wstring& program)
{
    // A program without a console of its own would hand cmd a hidden one: ask for a new,
    // visible console window, shown normally and given the focus.
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_NEW_CONSOLE | CREATE_UNICODE_ENVIRONMENT, nullptr, nullptr, &startup,
                        &process))
        return false;
    // The interpreter lives on by itself; the program does not watch it.
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// The console as an administrator: setting the clock needs a privilege that only an elevated
// process holds, so in any other console the TIME command the help box names only fails. The
// "runas" verb shows the system's consent prompt. False when it did not start: declined,
// or no elevation to be had.
bool startElevatedConsole(const std::wstring& program, HWND owner)
{
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    // Owned by the clock's window, the prompt comes up in front of it rather than behind, as a
    // flashing taskbar button.
    info.hwnd = owner;
    // Returns once the new process exists; the user's answer to the prompt is known by then.
    info.fMask = SEE_MASK_NOASYNC;
    info.lpVerb = L"runas";
    info.lpFile = program.c_str();
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExW(&info) != FALSE;
}

} // namespace

void SystemDesktop::startTerminal(QWidget* owner, std::function<void(bool started)> done)
{
    const std::wstring program = commandInterpreter();
    if (program.empty()) {
        done(false);
        return;
    }
    HWND window = owner ? reinterpret_cast<HWND>(owner->window()->winId()) : nullptr;
    QPointer<QWidget> answerTo = owner;
    // The consent prompt is up until the user answers, and ShellExecuteEx waits for that: on a
    // thread of its own, so that the clock and its display go on ticking meanwhile. Left to run
    // on its own: the program may end while the prompt is still up.
    std::thread([program, window, answerTo, done = std::move(done)]() mutable {
        // The shell's verbs want a single-threaded apartment on the thread that calls them.
        const HRESULT com =
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        // Declined (ERROR_CANCELLED) or refused for another reason: the ordinary console still
        // lets the user look at the time or reach the system's own settings.
        const bool started = startElevatedConsole(program, window) || startConsole(program);
        if (SUCCEEDED(com))
            CoUninitialize();
        // Back on the window's thread, which alone may look whether the window is still there.
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                app,
                [answerTo, done = std::move(done), started] {
                    if (answerTo)
                        done(started);
                },
                Qt::QueuedConnection);
    }).detach();
}

} // namespace tikvor
