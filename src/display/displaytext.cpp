#include "displaytext.h"

#include <algorithm>
#include <bit>

namespace tikvor {
namespace {

// Segments a..g as bits 0..6, written a first.
constexpr quint8 shape(const char* segments)
{
    quint8 bits = 0;
    for (const char* s = segments; *s; ++s)
        bits |= quint8(1u << (*s - 'a'));
    return bits;
}

constexpr std::array<quint8, 10> Digits = {
    shape("abcdef"), shape("bc"),     shape("abdeg"), shape("abcdg"),   shape("bcfg"),
    shape("acdfg"),  shape("acdefg"), shape("abc"),   shape("abcdefg"), shape("abcdfg")};

constexpr quint8 SevenSegments = 0x7f;

bool lit(quint8 segments, char segment)
{
    return (segments >> (segment == '.' ? DotSegment : segment - 'a')) & 1u;
}

} // namespace

quint8 digitSegments(int digit)
{
    return Digits.at(size_t(digit));
}

QString positionText(quint8 segments)
{
    QString text;
    const quint8 seven = segments & SevenSegments;
    if (seven == 0) {
        text = u' ';
    } else {
        const auto it = std::find(Digits.begin(), Digits.end(), seven);
        if (it != Digits.end())
            text = QChar(u'0' + int(it - Digits.begin()));
        else if (std::has_single_bit(seven)) // no digit is a single segment: say which lit
            text = QChar(u'a' + std::countr_zero(seven));
        else
            text = u'?';
    }
    if (lit(segments, '.'))
        text += u'.';
    return text;
}

QString displayLine(const DisplaySegments& shown)
{
    QString line;
    for (const quint8 segments : shown)
        line += positionText(segments);
    return line;
}

QStringList displayDrawing(const DisplaySegments& shown)
{
    QStringList rows(3);
    for (const quint8 s : shown) {
        const auto mark = [s](char segment, char drawn) { return lit(s, segment) ? drawn : ' '; };
        const char cell[3][4] = {{' ', mark('a', '_'), ' ', ' '},
                                 {mark('f', '|'), mark('g', '_'), mark('b', '|'), ' '},
                                 {mark('e', '|'), mark('d', '_'), mark('c', '|'), mark('.', '.')}};
        for (int r = 0; r < 3; ++r)
            rows[r] += QLatin1StringView(cell[r], 4);
    }
    return rows;
}

} // namespace tikvor
