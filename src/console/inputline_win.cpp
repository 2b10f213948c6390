#include "inputline.h"

#include <QByteArray>

#include <algorithm>
#include <iterator>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace tikvor {
namespace {

std::optional<InputLine> fromConsole(HANDLE input)
{
    // In the console's line mode ReadConsoleW returns once Enter is pressed; a line longer than
    // the buffer comes in several reads, of which only the first characters are kept.
    InputLine line;
    for (bool ended = false; !ended;) {
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
        ended = buffer[read - 1] == L'\n';
        // Room for the line end and one character more, which tells a line over the limit.
        const qsizetype room = InputLineLimit + 3 - line.text.size();
        if (room > 0)
            line.text += QString::fromWCharArray(buffer, int(std::min<qsizetype>(read, room)));
    }
    // Ctrl+Z at the start of a line is how a console user ends the input.
    if (line.text.startsWith(QChar(0x1a)))
        return std::nullopt;
    if (line.text.endsWith(u'\n'))
        line.text.chop(1);
    if (line.text.endsWith(u'\r'))
        line.text.chop(1);
    if (line.text.size() > InputLineLimit) {
        line.text.truncate(InputLineLimit);
        line.cut = true;
    }
    return line;
}

std::optional<InputLine> fromStream(HANDLE input)
{
    const std::optional<detail::LineBytes> line = detail::takeLine([input](char& c) {
        DWORD read = 0;
        // A broken pipe (the writer gone) is the end of the input, as is a file's end.
        return ReadFile(input, &c, 1, &read, nullptr) && read == 1;
    });
    if (!line)
        return std::nullopt;
    return InputLine{QString::fromUtf8(line->bytes), line->cut};
}

} // namespace

std::optional<InputLine> readInputLine()
{
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == INVALID_HANDLE_VALUE || input == nullptr)
        return std::nullopt;
    DWORD mode = 0;
    return GetConsoleMode(input, &mode) ? fromConsole(input) : fromStream(input);
}

} // namespace tikvor
