#pragma once
// Reads single values from INI text the way the Windows profile API does, so that a Data.ini
// edited by hand on either system reads the same on both.
//
// Contract: each call scans the text afresh and returns one value; nothing is cached. The
// functions never fail: odd bytes, overlong lines and truncated files only make a value absent.
//
// Text rules, chosen to match what existing settings files rely on:
// - A line ends at LF, CR or CRLF. A NUL byte ends the useful part of its line; the rest of that
//   line is ignored. A UTF-8 byte order mark at the very start is skipped.
// - Text is 8-bit in the system code page, except in a file that starts with the UTF-8 byte
//   order mark (what Notepad writes): that file is UTF-8 throughout, names and values alike. On
//   a system whose code page is UTF-8, every file is read that way.
// - A UTF-16 file (what Notepad calls "Unicode") is read as the same text in UTF-8: one that
//   starts with the mark FF FE or FE FF, or, without a mark, whose first two characters are
//   ASCII with NUL high bytes (little-endian). iniValue() alone reads the bytes as they are.
// - Blanks are spaces and tabs. A line whose first non-blank is ';' is a comment; there are no
//   inline comments, and '#' is an ordinary character.
// - A line whose first non-blank is '[' opens a section. The name runs to the first ']' (text
//   after it is ignored) or, when there is no ']', to the end of the line. The name is trimmed.
// - Any other line with '=' is a key: the key is the trimmed text before the first '=', the value
//   the text after it with blanks stripped from both ends and then one matching outer pair of
//   '"' or '\'' removed. Lines without '=' are ignored, as are keys before the first section.
// - Section and key names match without regard to ASCII case; other bytes must be equal. The
//   names asked for are used as given (not trimmed).
// - Only the first section of a given name is searched, and the first occurrence of a key in it
//   wins. repeatedSections() names the sections that appear again, so that a program can say
//   that what was added further down is not read.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

namespace tikvor {

// Returns the raw value bytes of `key` in `section` of `buffer` (may be empty for "key="), or
// std::nullopt when the section or the key is absent.
std::optional<QByteArray> iniValue(QByteArrayView buffer, QByteArrayView section,
                                   QByteArrayView key);

// Returns the value of `key` in `section`, or `defaultValue` (as given: not trimmed, no quotes
// removed) when the section or the key is absent; size <= 0 returns "". In the system code page
// at most size-1 bytes of the 8-bit text are delivered, then decoded with
// QString::fromLocal8Bit, and names are encoded with toLocal8Bit before matching. In a UTF-8 or
// UTF-16 file (UTF-8 marked, or on a UTF-8 system) at most size-1 characters are delivered (a
// character is never split), and names are encoded as UTF-8.
QString readProfileString(QByteArrayView buffer, const QString& section, const QString& key,
                          const QString& defaultValue, int size);

// As above, reading the file at `path`. A path that is missing, unreadable or not an ordinary
// file counts as absent, so the (cut) default is returned. A file larger than kMaxIniFileSize
// reads as if empty (every value is its default) and is never read into memory.
constexpr qint64 kMaxIniFileSize = 1024 * 1024;
QString readProfileString(const QString& section, const QString& key, const QString& defaultValue,
                          int size, const QString& path);

// The sections that appear more than once, each named once (as written where it first repeats),
// in that order. The file at `path` as above: absent, it repeats nothing.
QList<QByteArray> repeatedSections(QByteArrayView buffer);
QList<QByteArray> repeatedSections(const QString& path);

} // namespace tikvor
