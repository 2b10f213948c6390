#include "consoletext.h"
#include "consolewriter.h"

#include <algorithm>

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

// One piece of a line on a console: its text, or a cursor control done by the console's own
// calls, which every Windows console takes.
bool consolePiece(HANDLE handle, const detail::ConsolePiece& piece)
{
    if (piece.kind == detail::ConsolePiece::Text) {
        const auto* data = reinterpret_cast<const wchar_t*>(piece.text.data());
        DWORD left = DWORD(piece.text.size());
        while (left > 0) {
            DWORD written = 0;
            if (!WriteConsoleW(handle, data, left, &written, nullptr) || written == 0)
                return false;
            data += written;
            left -= written;
        }
        return true;
    }
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(handle, &info))
        return false;
    COORD at = info.dwCursorPosition;
    if (piece.kind == detail::ConsolePiece::Up) {
        at.Y = SHORT(std::max(0, int(at.Y) - piece.lines));
        return SetConsoleCursorPosition(handle, at) != FALSE;
    }
    const DWORD rest = DWORD(std::max(0, int(info.dwSize.X) - int(at.X)));
    DWORD done = 0;
    return FillConsoleOutputCharacterW(handle, L' ', rest, at, &done) &&
           FillConsoleOutputAttribute(handle, info.wAttributes, rest, at, &done);
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

WriteOutcome consoleWrite(const ConsoleTarget& target, const std::string& bytes)
{
    const HANDLE handle = reinterpret_cast<HANDLE>(target.handle);
    if (!usable(handle))
        return {WriteOutcome::ReaderGone, {}}; // no stream at all: nobody to tell
    if (target.console) {
        const std::u16string_view text(reinterpret_cast<const char16_t*>(bytes.data()),
                                       bytes.size() / sizeof(char16_t));
        for (const ConsolePiece& piece : consolePieces(text)) {
            // A console fails only once it is gone.
            if (!consolePiece(handle, piece))
                return {WriteOutcome::ReaderGone, {}};
        }
        return {};
    }
    const char* data = bytes.data();
    DWORD left = DWORD(bytes.size());
    while (left > 0) {
        DWORD written = 0;
        if (!WriteFile(handle, data, left, &written, nullptr)) {
            const DWORD error = GetLastError();
            // A pipe whose reader is gone (ERROR_NO_DATA, ERROR_BROKEN_PIPE): that stream is done.
            if (error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE)
                return {WriteOutcome::ReaderGone, {}};
            return {WriteOutcome::Failed, qt_error_string(int(error))}; // a full disk, ...
        }
        if (written == 0)
            return {WriteOutcome::ReaderGone, {}};
        data += written;
        left -= written;
    }
    return {};
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
    // The writer moves the cursor by the console's own calls (consolePieces), so every console
    // takes the drawing in place, whatever sequences it understands.
    return TerminalKind::Ansi;
}

int terminalColumns(std::FILE* stream)
{
    const HANDLE handle = handleOf(stream);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!usable(handle) || !GetConsoleScreenBufferInfo(handle, &info))
        return 0;
    // A console moves the cursor on as soon as a character fills the last column, so a line of
    // the full width would take two.
    return std::max(int(info.dwSize.X) - 1, 0);
}

void onTerminalResize(QObject*, std::function<void()>) {}

} // namespace tikvor
