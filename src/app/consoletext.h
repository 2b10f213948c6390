#pragma once
// One line of text for whoever reads a console program's output: a person at a console or
// terminal, or a file or pipe.
//
// Contract: writeLine(stream, text) writes the text and a line end to `stream` (stdout or
// stderr) and flushes it. On Windows a console gets the text as UTF-16 through WriteConsoleW,
// so it shows right whatever the console's code page; a redirected stream gets UTF-8. Elsewhere
// the text goes out in the locale's encoding.

#include <QString>

#include <cstdio>

namespace tikvor {

void writeLine(std::FILE* stream, const QString& text);

} // namespace tikvor
