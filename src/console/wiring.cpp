#include "wiring.h"

#include "display/displaytext.h"

#include <QStringList>

#include <algorithm>

namespace tikvor {
namespace {

QString segmentName(int segment)
{
    return segment == DotSegment ? QStringLiteral("dp") : QString(QChar(u'a' + segment));
}

// An answer as it may be shown on a terminal: what it would not print as itself (a control
// character, a NUL, a direction mark) as an escape, never as itself.
QString printable(const QString& text)
{
    QString shown;
    for (const char32_t c : text.toUcs4()) {
        if (QChar::isPrint(c))
            shown += QString::fromUcs4(&c, 1);
        else if (c < 0x100)
            shown += QStringLiteral("\\x%1").arg(uint(c), 2, 16, QChar(u'0'));
        else
            shown += QStringLiteral("\\u%1").arg(uint(c), 4, 16, QChar(u'0'));
    }
    return shown;
}

} // namespace

QString WiringSession::frame() const
{
    QString frame(FrameLength, u'0');
    if (m_step <= PatternLength)
        for (int group = 0; group < DisplayPositions; ++group)
            frame[group * PatternLength + m_step - 1] = u'1';
    return frame;
}

QString WiringSession::question() const
{
    return QStringLiteral("Character %1 of %2 is lit in every digit. Which segment lights "
                          "(a to g, dp, or nothing)?")
        .arg(m_step)
        .arg(PatternLength);
}

WiringSession::Reply WiringSession::answer(const InputLine& line)
{
    if (m_step > PatternLength)
        return finish();
    if (line.cut)
        return {Outcome::Again, QStringLiteral("That answer is too long: answer a to g, dp, or "
                                               "nothing when nothing lit.")};
    QString name = line.text.trimmed().toLower();
    if (name == u"nothing")
        name.clear();
    int segment = -1;
    if (!name.isEmpty()) {
        for (int s = 0; s < SegmentCount && segment < 0; ++s)
            if (name == segmentName(s))
                segment = s;
        if (segment < 0)
            return {Outcome::Again, QStringLiteral("\"%1\" is no segment: answer a to g, dp, "
                                                   "or nothing when nothing lit.")
                                        .arg(printable(line.text.trimmed()))};
        for (int c = 0; c < m_step - 1; ++c)
            if (m_wiring[size_t(c)] == segment)
                return {Outcome::Again,
                        QStringLiteral("Segment %1 already lit at character %2; look again.")
                            .arg(name)
                            .arg(c + 1)};
    }
    m_wiring[size_t(m_step - 1)] = segment;
    ++m_step;
    return m_step > PatternLength ? finish() : Reply{};
}

WiringSession::Reply WiringSession::finish() const
{
    QStringList missing;
    for (int s = 0; s < DotSegment; ++s)
        if (std::find(m_wiring.begin(), m_wiring.end(), s) == m_wiring.end())
            missing << segmentName(s);
    if (!missing.isEmpty())
        return {Outcome::Failed, QStringLiteral("No character lit segment %1: check its wire.")
                                     .arg(missing.join(QStringLiteral(", ")))};
    const int last = m_wiring[PatternLength - 1];
    if (last >= 0 && last != DotSegment)
        return {Outcome::Failed,
                QStringLiteral("Segment %1 is on character %2, where the clock sends the blinking "
                               "dot: wire it to another character.")
                    .arg(segmentName(last))
                    .arg(PatternLength)};
    return {Outcome::Done, {}};
}

QString WiringSession::section() const
{
    QString out = QStringLiteral("[Znaky]\n");
    for (int digit = 0; digit <= 9; ++digit) {
        QString pattern(PatternLength, u'0');
        for (int c = 0; c < PatternLength; ++c) {
            const int segment = m_wiring[size_t(c)];
            if (segment >= 0 && segment != DotSegment && ((digitSegments(digit) >> segment) & 1u))
                pattern[c] = u'1';
        }
        out += QStringLiteral("%1=%2\n").arg(digit).arg(pattern);
    }
    return out;
}

WiringResult runWiring(const std::function<void(const QString& frame)>& send,
                       const std::function<std::optional<InputLine>()>& readAnswer,
                       const std::function<void(const QString& text)>& say)
{
    WiringSession session;
    while (true) {
        const int step = session.step();
        send(session.frame());
        say(session.question());
        while (session.step() == step) {
            const std::optional<InputLine> line = readAnswer();
            if (!line)
                return {false, QStringLiteral("The answers ended before character %1.").arg(step)};
            const WiringSession::Reply reply = session.answer(*line);
            switch (reply.outcome) {
            case WiringSession::Outcome::Next:
                break;
            case WiringSession::Outcome::Again:
                say(reply.message);
                break;
            case WiringSession::Outcome::Failed:
                return {false, reply.message};
            case WiringSession::Outcome::Done:
                return {true, session.section()};
            }
        }
    }
}

} // namespace tikvor
