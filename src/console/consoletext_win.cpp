#include "consoletext.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace tikvor {

void writeLine(std::FILE* stream, const QString& text)
{
    // Whatever the C library still holds for this stream goes first, so lines keep their order.
    std::fflush(stream);
    const HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode)) {
        // A console shows text in its OEM code page, in which the ANSI bytes of Czech letters
        // are other letters; as UTF-16 they need no code page at all.
        const QString line = text + QStringLiteral("\r\n");
        const auto* data = reinterpret_cast<const wchar_t*>(line.utf16());
        DWORD left = DWORD(line.size());
        while (left > 0) {
            DWORD written = 0;
            if (!WriteConsoleW(handle, data, left, &written, nullptr) || written == 0)
                return;
            data += written;
            left -= written;
        }
        return;
    }
    // A file or a pipe: UTF-8, which every reader of today takes.
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

TerminalKind terminalKind(std::FILE* stream)
{
    // A console, not just a character device: NUL is one too.
    const HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr || !GetConsoleMode(handle, &mode))
        return TerminalKind::None;
    // Consoles before Windows 10 refuse the flag and take the drawing line by line.
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) ||
        SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING))
        return TerminalKind::Ansi;
    return TerminalKind::Plain;
}

} // namespace tikvor
