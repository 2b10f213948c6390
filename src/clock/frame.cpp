#include "frame.h"

namespace tikvor {
namespace {

void setPair(QString& tens, QString& units, int value)
{
    const QString text = QString::number(value);
    if (text.size() == 1) {
        tens = QStringLiteral("0");
        units = text;
    } else if (text.size() == 2) {
        tens = text.left(1);
        units = text.mid(1, 1);
    }
}

int digitValue(const QString& field)
{
    if (field.size() != 1 || !field.at(0).isDigit() || field.at(0).unicode() > '9')
        return -1;
    return field.at(0).unicode() - '0';
}

} // namespace

void setDigits(ClockState& state, QTime time)
{
    setPair(state.SecondTens, state.SecondUnits, time.second());
    setPair(state.MinuteTens, state.MinuteUnits, time.minute());
    setPair(state.HourTens, state.HourUnits, time.hour());
}

QString buildFrame(const CharacterTable& table, const ClockState& state)
{
    const QString* order[6] = {&state.SecondUnits, &state.SecondTens, &state.MinuteUnits,
                               &state.MinuteTens,  &state.HourUnits,  &state.HourTens};
    QString frame;
    frame.reserve(FrameLength);
    for (const QString* field : order) {
        const int d = digitValue(*field);
        if (d < 0)
            return {};
        frame +=
            table[static_cast<size_t>(d)].left(PatternLength).leftJustified(PatternLength, u'0');
    }
    const bool lowGroupsLit = state.BlinkSign == -1.0f;
    for (int group = 0; group < 6; ++group) {
        const bool lit = (group < 3) == lowGroupsLit;
        frame[group * PatternLength + PatternLength - 1] = lit ? u'1' : u'0';
    }
    return frame;
}

QString frameLabelText(const QString& frame)
{
    return frame.left(24) + u' ' + frame.mid(24);
}

int markerLeft(int second)
{
    return second * 61 + 120;
}

QString blinkText(float blinkSign)
{
    return QString::number(blinkSign);
}

std::array<QString, 7> pictureNames(const ClockState& s)
{
    const auto big = [](const QString& d) { return QStringLiteral("data/%1.gif").arg(d); };
    const auto small = [](const QString& d) { return QStringLiteral("data/s%1.gif").arg(d); };
    return {big(s.HourTens),
            big(s.HourUnits),
            big(s.MinuteTens),
            big(s.MinuteUnits),
            small(s.SecondTens),
            small(s.SecondUnits),
            QStringLiteral("data/d%1.gif").arg(blinkText(s.BlinkSign))};
}

} // namespace tikvor
