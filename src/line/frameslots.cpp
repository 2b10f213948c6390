#include "frameslots.h"

namespace tikvor {

void FrameSlots::putNow(QString bits, std::optional<qint64> second)
{
    if (m_now)
        ++m_dropped;
    m_now = Frame{std::move(bits), std::nullopt, second};
}

void FrameSlots::putLater(QString bits, qint64 endUs, std::optional<qint64> second, qint64 nowUs)
{
    // A frame whose start has come is the frame for now: the worker has not woken for it yet
    // (the tick that hands the next one comes on the same second), or the line is still busy
    // with the one before. It goes next; the new one waits for its own time.
    if (m_later && nowUs >= m_later->startUs.value_or(m_later->endUs)) {
        if (m_now)
            ++m_dropped;
        m_now = Frame{std::move(m_later->bits), m_later->waited ? m_later->startUs : std::nullopt,
                      m_later->second};
    } else if (m_later) {
        ++m_dropped;
    }
    m_later = Later{std::move(bits), endUs, second, std::nullopt, false};
}

bool FrameSlots::dropLater()
{
    if (!m_later)
        return false;
    ++m_dropped;
    m_later.reset();
    return true;
}

void FrameSlots::taskFirst()
{
    if (m_later) // it starts later than it waited for
        m_later->waited = false;
}

FrameSlots::Step FrameSlots::next(qint64 nowUs, const FrameLead& lead, std::optional<int> txdLevel)
{
    if (m_now) {
        Frame frame = std::move(*m_now);
        m_now.reset();
        if (!shown(frame.second)) {
            if (m_later) // it goes after this one, later than it waited for
                m_later->waited = false;
            return {Step::Do::Send, 0, std::move(frame)};
        }
        ++m_dropped;
    }
    if (!m_later)
        return {};
    const qint64 start =
        frameStart(m_later->endUs, lead.lead(txdChanges(m_later->bits, txdLevel)), nowUs);
    if (start > nowUs) {
        m_later->startUs = start;
        m_later->waited = true;
        return {Step::Do::Wait, start, {}};
    }
    Frame frame{std::move(m_later->bits), m_later->waited ? m_later->startUs : std::nullopt,
                m_later->second};
    m_later.reset();
    if (shown(frame.second)) {
        ++m_dropped;
        return {};
    }
    return {Step::Do::Send, 0, std::move(frame)};
}

void FrameSlots::frameSent(std::optional<qint64> second, bool whole)
{
    // A cut frame left the display showing neither second.
    m_shownSecond = whole ? second : std::nullopt;
}

bool FrameSlots::idle(qint64 nowUs) const
{
    return !m_now && (!m_later || (m_later->startUs && nowUs < *m_later->startUs));
}

void FrameSlots::clear()
{
    m_now.reset();
    m_later.reset();
}

} // namespace tikvor
