#include "inputline.h"

#include <QByteArray>

#include <iterator>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace tikvor {
namespace {

std::optional<QString> fromConsole(HANDLE input)
{
    // In the console's line mode ReadConsoleW returns once Enter is pressed; a line longer than
    // the buffer comes in several reads.
    QString line;
    for (;;) {
        wchar_t buffer[256];
        DWORD read = 0;
        SetLastError(ERROR_SUCCESS);
        const bool ok = ReadConsoleW(input, buffer, DWORD(std::size(buffer)), &read, nullptr);
        // Ctrl+C or Ctrl+Break cut the read short: the stop request is on its way to the
        // program, and the input has not ended.
        if (read == 0 && GetLastError() == ERROR_OPERATION_ABORTED)
            continue;
        if (!ok || read == 0)
            return std::nullopt; // the console is gone
        line += QString::fromWCharArray(buffer, int(read));
        if (line.endsWith(u'\n'))
            break;
    }
    // Ctrl+Z at the start of a line is how a console user ends the input.
    if (line.startsWith(QChar(0x1a)))
        return std::nullopt;
    line.chop(1);
    if (line.endsWith(u'\r'))
        line.chop(1);
    return line;
}

std::optional<QString> fromStream(HANDLE input)
{
    const std::optional<QByteArray> line = detail::takeLine([input](char& c) {
        DWORD read = 0;
        // A broken pipe (the writer gone) is the end of the input, as is a file's end.
        return ReadFile(input, &c, 1, &read, nullptr) && read == 1;
    });
    if (!line)
        return std::nullopt;
    return QString::fromUtf8(*line);
}

} // namespace

std::optional<QString> readInputLine()
{
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == INVALID_HANDLE_VALUE || input == nullptr)
        return std::nullopt;
    DWORD mode = 0;
    return GetConsoleMode(input, &mode) ? fromConsole(input) : fromStream(input);
}

} // namespace tikvor
