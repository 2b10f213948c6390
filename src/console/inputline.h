#pragma once
// One answer typed by a person at a console or terminal, or read from a file or pipe.
//
// Contract: readInputLine() blocks until a whole line of standard input has arrived and returns
// it without its line end (LF or CRLF); the last line may lack one. An answer is a few letters,
// so of a line longer than InputLineLimit bytes (characters, from a Windows console) only that
// many are kept and the line is marked cut: the rest is read and dropped as it comes, never
// held. It returns nothing once the input has ended (or cannot be read). It uses no C stdio, so a
// thread blocked in it holds no lock that the end of the process would wait for; such a thread
// may simply be left behind. On Windows a console is read as UTF-16, whatever its code page,
// Ctrl+Z at the start of a line ending the input as it does for the C library; a redirected
// stream is read as UTF-8. Elsewhere the text is in the locale's encoding.

#include <QByteArray>
#include <QString>

#include <optional>

namespace tikvor {

inline constexpr qsizetype InputLineLimit = 64;

struct InputLine {
    QString text;
    bool cut = false; // longer than InputLineLimit: text is its beginning
};

std::optional<InputLine> readInputLine();

namespace detail {
struct LineBytes {
    QByteArray bytes;
    bool cut = false;
};

// A line from a stream read a byte at a time (`next` puts the next byte in its argument and
// returns false at the end), without its LF or CRLF and cut as readInputLine cuts it; nothing
// when the stream ended before it. A byte at a time: a person types a few letters, and nothing
// of the next line is taken from whoever reads the stream after us.
template <typename Next> std::optional<LineBytes> takeLine(Next next)
{
    LineBytes line;
    for (char c = 0;;) {
        if (!next(c)) {
            if (line.bytes.isEmpty())
                return std::nullopt;
            break;
        }
        if (c == '\n')
            break;
        // One byte over the limit is kept, for the CR of a line just at it.
        if (line.bytes.size() <= InputLineLimit)
            line.bytes += c;
        else
            line.cut = true;
    }
    if (!line.cut && line.bytes.endsWith('\r'))
        line.bytes.chop(1);
    if (line.bytes.size() > InputLineLimit) {
        line.bytes.truncate(InputLineLimit);
        line.cut = true;
    }
    return line;
}
} // namespace detail

} // namespace tikvor
