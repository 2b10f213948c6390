#pragma once
// One line of text for whoever reads a console program's output: a person at a console or
// terminal, or a file or pipe.
//
// Contract: writeLine(stream, text) writes the text and a line end to `stream` (stdout or
// stderr) and flushes it. On Windows a console gets the text as UTF-16 through WriteConsoleW,
// so it shows right whatever the console's code page; a redirected stream gets UTF-8. Elsewhere
// the text goes out in the locale's encoding.
// terminalKind(stream) tells whether the stream reaches a terminal, and whether that terminal
// moves the cursor on ANSI sequences (a Windows console is switched to them where it can be).

#include <QString>

#include <cstdio>

namespace tikvor {

enum class TerminalKind { None, Plain, Ansi };

void writeLine(std::FILE* stream, const QString& text);
TerminalKind terminalKind(std::FILE* stream);

} // namespace tikvor
