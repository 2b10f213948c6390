#pragma once
// One line of text for whoever reads a console program's output: a person at a console or
// terminal, or a file or pipe.
//
// Contract:
// - writeLine(stream, text) never waits. It queues the text and a line end for `stream` (stdout,
//   stderr, or any stream with a file descriptor) and returns; one writer thread per process
//   writes the queued lines in the order they were queued, whatever their stream. A text with
//   line breaks in it is one unit: written whole or dropped whole (a drawing redrawn in place
//   keeps its height).
// - A reader that does not read loses lines, never the program's time: at most StreamLimit
//   lines wait per stream, and a line beyond that is dropped. A write that fails ends that
//   stream's output: its waiting lines and every later one are dropped; other streams go on. No
//   SIGPIPE comes of it. When the reader is gone (a pipe closed, a terminal hung up) nobody is
//   left to tell; any other failure (a full disk) is said once on standard error, as
//   "Tikvor: standard output: No space left on device". streamEnded(stream) says whether the
//   stream has ended so, for a program whose output is its product.
// - Nothing goes through C stdio, so exit() finds nothing buffered to push into a blocked
//   stream; the process can end while the writer is blocked in a write. A program that wants
//   its last lines out calls flushLines(FlushLimitMs) once it is at rest, before it returns: it
//   waits until every queued line is written or dropped, or timeoutMs have passed, and says
//   whether all went.
// - On Windows a console gets the text as UTF-16 through WriteConsoleW, so it shows right
//   whatever the console's code page; a redirected stream gets UTF-8, with CRLF line ends.
//   Elsewhere the text goes out in the locale's encoding.
// terminalKind(stream) tells whether the stream reaches a terminal, and whether that terminal
// moves the cursor on the ANSI sequences of the drawing in place (on a Windows console the
// writer carries them out by the console's own calls, so every console does).
// terminalColumns(stream) is how many characters a line on that terminal may have without
// wrapping, 0 when it is no terminal or does not say. onTerminalResize runs `resized` on
// context's thread, until context is gone, each time the terminal changes its size (SIGWINCH);
// a Windows console tells nothing, so there its size is simply read again at each drawing.

#include <QObject>
#include <QString>

#include <cstdio>
#include <functional>

namespace tikvor {

enum class TerminalKind { None, Plain, Ansi };

// Enough for every line a session of --wire asks and answers; far more than a second of output.
inline constexpr int StreamLimit = 256;
// Long enough for any reader that reads, short enough that a stopped one costs little at the end.
inline constexpr int FlushLimitMs = 1000;

void writeLine(std::FILE* stream, const QString& text);
bool flushLines(int timeoutMs);
bool streamEnded(std::FILE* stream);
// For what a program prints as its answer (--help, --version): the lines out, as far as
// flushLines(FlushLimitMs) takes them, then the status to end with: 1 where `stream` ended before
// taking them (a full disk, a reader gone), else 0.
int outputStatus(std::FILE* stream);
TerminalKind terminalKind(std::FILE* stream);
int terminalColumns(std::FILE* stream);
void onTerminalResize(QObject* context, std::function<void()> resized);

} // namespace tikvor
