#include "desktop.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <shellapi.h>

#include <string>

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
bool startElevatedConsole(const std::wstring& program)
{
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    // Returns once the new process exists; the user's answer to the prompt is known by then.
    info.fMask = SEE_MASK_NOASYNC;
    info.lpVerb = L"runas";
    info.lpFile = program.c_str();
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExW(&info) != FALSE;
}

} // namespace

bool SystemDesktop::startTerminal()
{
    const std::wstring program = commandInterpreter();
    if (program.empty())
        return false;
    // Declined (ERROR_CANCELLED) or refused for another reason: the ordinary console still lets
    // the user look at the time or reach the system's own settings.
    return startElevatedConsole(program) || startConsole(program);
}

} // namespace tikvor
