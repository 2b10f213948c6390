#include "consoletext.h"
#include "consolewriter.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>

namespace tikvor {
namespace {

HANDLE handleOf(std::FILE* stream)
{
    if (stream == stdout)
        return GetStdHandle(STD_OUTPUT_HANDLE);
    if (stream == stderr)
        return GetStdHandle(STD_ERROR_HANDLE);
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

bool usable(HANDLE handle)
{
    return handle != INVALID_HANDLE_VALUE && handle != nullptr;
}

} // namespace

namespace detail {

ConsoleTarget consoleTarget(std::FILE* stream)
{
    const HANDLE handle = handleOf(stream);
    DWORD mode = 0;
    return {reinterpret_cast<std::intptr_t>(handle),
            usable(handle) && GetConsoleMode(handle, &mode)};
}

std::string consoleBytes(const ConsoleTarget& target, const QString& text)
{
    // What the C library's text mode made of every line end until now.
    QString line = text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    line.replace(u'\n', QStringLiteral("\r\n"));
    line += QStringLiteral("\r\n");
    if (target.console) {
        // A console shows text in its OEM code page, in which the ANSI bytes of Czech letters
        // are other letters; as UTF-16 they need no code page at all.
        return std::string(reinterpret_cast<const char*>(line.utf16()),
                           size_t(line.size()) * sizeof(char16_t));
    }
    // A file or a pipe: UTF-8, which every reader of today takes.
    const QByteArray bytes = line.toUtf8();
    return std::string(bytes.constData(), size_t(bytes.size()));
}

bool consoleWrite(const ConsoleTarget& target, const std::string& bytes)
{
    const HANDLE handle = reinterpret_cast<HANDLE>(target.handle);
    if (!usable(handle))
        return false;
    if (target.console) {
        const auto* data = reinterpret_cast<const wchar_t*>(bytes.data());
        DWORD left = DWORD(bytes.size() / sizeof(wchar_t));
        while (left > 0) {
            DWORD written = 0;
            if (!WriteConsoleW(handle, data, left, &written, nullptr) || written == 0)
                return false;
            data += written;
            left -= written;
        }
        return true;
    }
    const char* data = bytes.data();
    DWORD left = DWORD(bytes.size());
    while (left > 0) {
        DWORD written = 0;
        // A pipe whose reader is gone fails here (ERROR_NO_DATA): that stream is done.
        if (!WriteFile(handle, data, left, &written, nullptr) || written == 0)
            return false;
        data += written;
        left -= written;
    }
    return true;
}

void consoleWriterStarts() {}

} // namespace detail

TerminalKind terminalKind(std::FILE* stream)
{
    // A console, not just a character device: NUL is one too.
    const HANDLE handle = handleOf(stream);
    DWORD mode = 0;
    if (!usable(handle) || !GetConsoleMode(handle, &mode))
        return TerminalKind::None;
    // Consoles before Windows 10 refuse the flag and take the drawing line by line.
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) ||
        SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING))
        return TerminalKind::Ansi;
    return TerminalKind::Plain;
}

} // namespace tikvor
