#include "clockengine.h"

#include "frame.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>

namespace tikvor {

QString timeCaption(QTime time)
{
    // The long format carries seconds; its time-zone field means nothing for a bare time of day.
    static const QRegularExpression zone(QStringLiteral("\\s*t+\\s*"));
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(zone);
    if (!format.contains(u's'))
        format = QStringLiteral("HH:mm:ss");
    return QLocale::system().toString(time, format.trimmed());
}

QString wallSecondFrame(const CharacterTable& table, qint64 second, float blinkSign)
{
    ClockState state;
    state.BlinkSign = blinkSign;
    setDigits(state, QDateTime::fromSecsSinceEpoch(second).time());
    return buildFrame(table, state);
}

ClockEngine::ClockEngine(ClockState& state, const CharacterTable& table, const TimeSource& time)
    : m_state(state), m_table(table), m_time(time)
{
}

ClockEngine::ClockEngine(ClockState& state, const CharacterTable& table, const TimeSource& time,
                         ClockFace& face)
    : ClockEngine(state, table, time)
{
    setFaces(&face, &face);
}

QString ClockEngine::portCaption() const
{
    return m_linkLost ? m_state.PortCaption + LinkLostSuffix : m_state.PortCaption;
}

void ClockEngine::refreshCaption()
{
    if (m_caption && !m_caption->isMinimised())
        m_caption->setCaption(portCaption());
}

void ClockEngine::UpdateClock()
{
    // One reading feeds the caption, the digits and the marker, so they can never disagree
    // across a second boundary.
    const QTime now = m_time.currentTime();
    m_state.BlinkSign *= -1.0f;
    setDigits(m_state, now);

    // The display on the line is what the clock is judged by: its frame leaves before the window
    // is touched, which takes a picture check for each of seven images.
    const QString frame = buildFrame(m_table, m_state);
    if (!frame.isEmpty()) { // else keep the previous frame rather than send a broken one
        m_state.FrameBits = frame;
        if (m_state.PortClosed == False16 && m_sink)
            m_sink->sendFrame(m_state);
    }

    if (m_caption)
        m_caption->setCaption(m_caption->isMinimised() ? timeCaption(now) : portCaption());
    if (!m_pictures)
        return;
    const auto names = pictureNames(m_state);
    for (int i = 0; i < 7; ++i)
        m_pictures->showPicture(i + 1, names[static_cast<size_t>(i)]);
    m_pictures->moveMarker(markerLeft(now.second()));
    if (!frame.isEmpty())
        m_pictures->showFrame(frameLabelText(frame));
}

} // namespace tikvor
