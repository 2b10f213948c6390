#include "wiringtest.h"

#include "clock/frame.h"

namespace tikvor {
namespace {

const char* const GroupNames[6] = {"seconds units", "seconds tens", "minutes units",
                                   "minutes tens",  "hours units",  "hours tens"};

} // namespace

WiringTest::WiringTest(DisplayLink& link, std::function<void(const QString&)> output,
                       QObject* parent)
    : QObject(parent), m_link(link), m_output(std::move(output))
{
    connect(&m_link.timer(), &SecondTimer::tick, this, &WiringTest::step);
}

void WiringTest::step()
{
    if (m_link.port() == 0 || m_link.isStopping())
        return;
    if (++m_step > FrameLength + 1) {
        m_link.stop();
        return;
    }
    m_output(text(m_step));
    m_link.sendFrameWhole(frame(m_step));
}

QString WiringTest::frame(int step)
{
    if (step > FrameLength)
        return QString(FrameLength, u'1');
    // Shifted out last character first: step k lights the character FrameLength - k.
    QString frame(FrameLength, u'0');
    frame[FrameLength - step] = u'1';
    return frame;
}

QString WiringTest::text(int step)
{
    if (step > FrameLength)
        return QStringLiteral("all: every segment and dot lit");
    const int index = FrameLength - step;
    const int group = index / PatternLength;
    const int position = index % PatternLength;
    const QString what = position == PatternLength - 1
                             ? QStringLiteral("dot")
                             : QStringLiteral("segment %1").arg(QChar(u'a' + position));
    return QStringLiteral("bit %1 of %2: %3, %4")
        .arg(step)
        .arg(FrameLength)
        .arg(QLatin1String(GroupNames[group]), what);
}

} // namespace tikvor
