#pragma once
// The sample wiring of data/Data.ini, and a frame read back as the display shows it.

#include <QStringList>

namespace tikvor::test {

// Characters 1-7 drive segments a-g, character 8 the dot.
inline const QStringList SamplePatterns = {"11111100", "01100000", "11011010", "11110010",
                                           "01100110", "10110110", "10111110", "11100000",
                                           "11111110", "11110110"};

// The digit a group of eight shows, its dot aside; -1 for none.
inline int digitOf(const QString& group)
{
    for (int d = 0; d < 10; ++d)
        if (SamplePatterns[d].left(7) == group.left(7))
            return d;
    return -1;
}

// "HH:MM:SS" and the six dots of a frame as built (seconds units first), "?" for no digit.
inline QString shown(const QString& frame)
{
    QString digits;
    for (int group = 5; group >= 0; --group) {
        const int d = digitOf(frame.mid(8 * group, 8));
        digits += d < 0 ? QChar(u'?') : QChar(u'0' + d);
        if (group == 4 || group == 2)
            digits += u':';
    }
    QString dots;
    for (int group = 0; group < 6; ++group)
        dots += frame[8 * group + 7];
    return digits + u' ' + dots;
}

} // namespace tikvor::test
