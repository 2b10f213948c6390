#include "inireader.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>

namespace tikvor {

namespace {

const QByteArrayView Utf8Mark("\xEF\xBB\xBF");
const QByteArrayView Utf16LeMark("\xFF\xFE");
const QByteArrayView Utf16BeMark("\xFE\xFF");

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArrayView trimmed(QByteArrayView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

// Folding only A-Z keeps the result independent of the locale the program runs in; the files
// are in a legacy code page whose letters we could not fold correctly anyway.
char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
}

QByteArrayView unquoted(QByteArrayView value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.sliced(1, value.size() - 2);
    return value;
}

// Hands out the lines of the text one by one, each cut at its first NUL and trimmed. Works on
// views only, so a file of one enormous line costs no more than the file itself.
class LineReader {
public:
    explicit LineReader(QByteArrayView text) : m_text(text) {}

    bool next(QByteArrayView& line)
    {
        const qsizetype size = m_text.size();
        if (m_pos >= size)
            return false;
        const qsizetype begin = m_pos;
        qsizetype end = begin;
        while (end < size && m_text[end] != '\n' && m_text[end] != '\r')
            ++end;
        // CRLF is read as two line ends; the empty line between them means nothing anyway.
        m_pos = end + 1;
        line = m_text.sliced(begin, end - begin);
        const qsizetype nul = line.indexOf('\0');
        if (nul >= 0)
            line = line.first(nul);
        line = trimmed(line);
        return true;
    }

private:
    QByteArrayView m_text;
    qsizetype m_pos = 0;
};

QString cutAndDecode(QByteArrayView bytes, int size)
{
    if (size <= 0)
        return QString();
    if (bytes.size() > size - 1)
        bytes = bytes.first(size - 1);
    return QString::fromLocal8Bit(bytes);
}

// The first `count` characters, a surrogate pair counting as one: what the 8-bit read does to
// bytes, done to the characters of a UTF-8 file, so that a cut never leaves half a character.
QString firstCharacters(const QString& text, int count)
{
    qsizetype end = 0;
    for (int taken = 0; taken < count && end < text.size(); ++taken)
        end += (text[end].isHighSurrogate() && end + 1 < text.size()) ? 2 : 1;
    return text.first(end);
}

// Where the system's 8-bit text is UTF-8 (every Qt on Unix, Windows set to UTF-8), a file
// without the mark is UTF-8 too, and its values are cut by characters like a marked one's.
bool systemIsUtf8()
{
    static const bool utf8 = QString::fromLocal8Bit("\xC4\x8D") == QString(QChar(0x010D));
    return utf8;
}

QString fallback(const QString& defaultValue, int size, bool utf8)
{
    if (size <= 0)
        return QString();
    if (utf8)
        return firstCharacters(defaultValue, size - 1);
    const QByteArray bytes = defaultValue.toLocal8Bit();
    // Returning the caller's own string when it fits avoids a lossy round trip through the code
    // page for characters the code page cannot hold.
    if (bytes.size() <= size - 1)
        return defaultValue;
    return cutAndDecode(bytes, size);
}

// Editors on Windows like to put a byte order mark in front of UTF-8 files; without this skip
// it would hide the first section header.
QByteArrayView withoutMark(QByteArrayView buffer)
{
    return buffer.startsWith(Utf8Mark) ? buffer.sliced(Utf8Mark.size()) : buffer;
}

// What Notepad calls "Unicode" is UTF-16: little-endian with its mark, big-endian with its mark,
// or, from programs that leave the mark out, little-endian recognised by the NUL high bytes of
// its first two characters (a section line or a comment starts with ASCII). Such a file is turned
// into UTF-8 once, so that the byte rules below read it as they read a UTF-8 file; read as bytes,
// every line would end at its first NUL.
std::optional<QByteArray> utf16AsUtf8(QByteArrayView buffer)
{
    std::optional<QStringDecoder::Encoding> encoding;
    if (buffer.startsWith(Utf16LeMark)) {
        encoding = QStringDecoder::Utf16LE;
        buffer = buffer.sliced(Utf16LeMark.size());
    } else if (buffer.startsWith(Utf16BeMark)) {
        encoding = QStringDecoder::Utf16BE;
        buffer = buffer.sliced(Utf16BeMark.size());
    } else if (buffer.size() >= 4 && buffer[0] != '\0' && buffer[1] == '\0' && buffer[2] != '\0' &&
               buffer[3] == '\0') {
        encoding = QStringDecoder::Utf16LE;
    }
    if (!encoding)
        return std::nullopt;
    QStringDecoder decoder(*encoding);
    return QString(decoder.decode(buffer)).toUtf8();
}

// The trimmed name a section line opens.
QByteArrayView sectionName(QByteArrayView line)
{
    QByteArrayView name = line.sliced(1);
    const qsizetype close = name.indexOf(']');
    return trimmed(close >= 0 ? name.first(close) : name);
}

// The text of the file at `path`, or none where it counts as absent (see the header).
std::optional<QByteArray> iniFileText(const QString& path)
{
    // Devices, pipes and folders are refused before opening: reading /dev/zero or a FIFO would
    // never end, and a folder has no text.
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxIniFileSize)
        return std::nullopt;
    // The size of the file opened, not of the name looked at above, which may have been
    // replaced since; and a file still growing is cut off one byte past the limit.
    QByteArray text = file.read(kMaxIniFileSize + 1);
    if (text.size() > kMaxIniFileSize)
        return std::nullopt;
    return text;
}

} // namespace

std::optional<QByteArray> iniValue(QByteArrayView buffer, QByteArrayView section,
                                   QByteArrayView key)
{
    LineReader lines(withoutMark(buffer));
    QByteArrayView line;
    bool inSection = false;
    while (lines.next(line)) {
        if (line.isEmpty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            // Leaving the first section of the wanted name ends the search: the Windows profile
            // API never looks at later sections of the same name, and old files rely on that.
            if (inSection)
                return std::nullopt;
            inSection = sameName(sectionName(line), section);
            continue;
        }
        if (!inSection)
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            continue;
        if (!sameName(trimmed(line.first(equals)), key))
            continue;
        return unquoted(trimmed(line.sliced(equals + 1))).toByteArray();
    }
    return std::nullopt;
}

QString readProfileString(QByteArrayView buffer, const QString& section, const QString& key,
                          const QString& defaultValue, int size)
{
    const std::optional<QByteArray> fromUtf16 = utf16AsUtf8(buffer);
    // Notepad saves "UTF-8" with the mark; read in the ANSI code page, its Czech letters would
    // come out as two or three wrong ones each.
    if (fromUtf16 || buffer.startsWith(Utf8Mark) || systemIsUtf8()) {
        const std::optional<QByteArray> value = iniValue(
            fromUtf16 ? QByteArrayView(*fromUtf16) : buffer, section.toUtf8(), key.toUtf8());
        if (!value)
            return fallback(defaultValue, size, true);
        return size <= 0 ? QString() : firstCharacters(QString::fromUtf8(*value), size - 1);
    }
    const std::optional<QByteArray> value =
        iniValue(buffer, section.toLocal8Bit(), key.toLocal8Bit());
    if (!value)
        return fallback(defaultValue, size, systemIsUtf8());
    return cutAndDecode(*value, size);
}

QString readProfileString(const QString& section, const QString& key, const QString& defaultValue,
                          int size, const QString& path)
{
    const std::optional<QByteArray> text = iniFileText(path);
    if (!text)
        return fallback(defaultValue, size, systemIsUtf8());
    return readProfileString(*text, section, key, defaultValue, size);
}

QList<QByteArray> repeatedSections(QByteArrayView buffer)
{
    QList<QByteArray> seen;
    QList<QByteArray> repeated;
    const auto among = [](const QList<QByteArray>& names, QByteArrayView name) {
        return std::any_of(names.cbegin(), names.cend(),
                           [&](const QByteArray& n) { return sameName(n, name); });
    };
    const std::optional<QByteArray> fromUtf16 = utf16AsUtf8(buffer);
    LineReader lines(withoutMark(fromUtf16 ? QByteArrayView(*fromUtf16) : buffer));
    QByteArrayView line;
    while (lines.next(line)) {
        if (line.isEmpty() || line.front() != '[')
            continue;
        const QByteArrayView name = sectionName(line);
        if (!among(seen, name))
            seen << name.toByteArray();
        else if (!among(repeated, name))
            repeated << name.toByteArray();
    }
    return repeated;
}

QList<QByteArray> repeatedSections(const QString& path)
{
    const std::optional<QByteArray> text = iniFileText(path);
    return text ? repeatedSections(QByteArrayView(*text)) : QList<QByteArray>();
}

} // namespace tikvor
