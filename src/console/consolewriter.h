#pragma once
// The per-system half of writeLine (consoletext.h): where a stream's bytes go, how a line is
// encoded for it, and a write that may block. The queue and its thread (consolewriter.cpp) are
// the same everywhere.

#include <QString>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace tikvor::detail {

struct ConsoleTarget {
    std::intptr_t handle = -1; // a file descriptor, or a Windows HANDLE
    bool console = false;      // Windows: a console, which takes UTF-16
};

// Called once per stream, on the first line for it.
ConsoleTarget consoleTarget(std::FILE* stream);
// The bytes of one line, line end included, as `target` takes them.
std::string consoleBytes(const ConsoleTarget& target, const QString& text);
// What came of a write: all of it went, or the stream takes no more, either because its reader
// is gone (nobody left to tell) or for a reason worth telling, in the system's words.
struct WriteOutcome {
    enum Kind { Written, ReaderGone, Failed } kind = Written;
    QString why; // Failed
};
// On the writer thread: writes all of `bytes`, waiting as long as the reader makes it.
WriteOutcome consoleWrite(const ConsoleTarget& target, const std::string& bytes);
// First thing on the writer thread.
void consoleWriterStarts();

// The two cursor controls the drawing in place uses, ESC[nA (up n lines) and ESC[K (clear to the
// end of the line), cut out of a text for a console that is driven by calls: not every Windows
// console takes the sequences (wine's prints them). Anything else stays text.
struct ConsolePiece {
    enum Kind { Text, Up, ClearToEnd } kind = Text;
    std::u16string_view text; // Text
    int lines = 0;            // Up
    bool operator==(const ConsolePiece&) const = default;
};
std::vector<ConsolePiece> consolePieces(std::u16string_view text);

} // namespace tikvor::detail
