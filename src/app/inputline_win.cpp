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
        if (!ReadConsoleW(input, buffer, DWORD(std::size(buffer)), &read, nullptr) || read == 0)
            return line.isEmpty() ? std::nullopt : std::optional(line);
        line += QString::fromWCharArray(buffer, int(read));
        if (line.endsWith(u'\n'))
            break;
    }
    line.chop(1);
    if (line.endsWith(u'\r'))
        line.chop(1);
    return line;
}

std::optional<QString> fromStream(HANDLE input)
{
    QByteArray line;
    for (;;) {
        char c = 0;
        DWORD read = 0;
        // A broken pipe (the writer gone) is the end of the input, as is a file's end.
        if (!ReadFile(input, &c, 1, &read, nullptr) || read == 0) {
            if (line.isEmpty())
                return std::nullopt;
            break;
        }
        if (c == '\n')
            break;
        line += c;
    }
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
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
