#pragma once
// The per-system half of writeLine (consoletext.h): where a stream's bytes go, how a line is
// encoded for it, and a write that may block. The queue and its thread (consolewriter.cpp) are
// the same everywhere.

#include <QString>

#include <cstdint>
#include <cstdio>
#include <string>

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

} // namespace tikvor::detail
