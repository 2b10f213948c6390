#include "reconnect.h"

namespace tikvor {

void Reconnect::lose(qint64 nowUs)
{
    m_lastTry = nowUs; // the failure was as good as a try: the adapter needs time to come back
    set(true);
}

bool Reconnect::reopenDue(qint64 nowUs)
{
    if (!m_lost || nowUs - m_lastTry < RetryIntervalUs)
        return false;
    m_lastTry = nowUs;
    return true;
}

void Reconnect::set(bool lost)
{
    if (lost == m_lost)
        return;
    m_lost = lost;
    if (m_listener)
        m_listener(lost);
}

} // namespace tikvor
