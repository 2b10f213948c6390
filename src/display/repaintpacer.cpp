#include "repaintpacer.h"

namespace tikvor {

RepaintPacer::RepaintPacer(std::function<void()> due, QObject* parent)
    : QObject(parent), m_due(std::move(due))
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(1000 / MaxPerSecond + 1);
    connect(&m_timer, &QTimer::timeout, this, [this] { m_due(); });
}

void RepaintPacer::noteChange()
{
    if (m_posted.exchange(true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_posted = false;
            drawSoon();
        },
        Qt::QueuedConnection);
}

void RepaintPacer::drawSoon()
{
    if (!m_timer.isActive())
        m_timer.start();
}

} // namespace tikvor
