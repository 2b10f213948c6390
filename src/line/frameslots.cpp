#include "frameslots.h"

#include <algorithm>

namespace tikvor {

namespace {

constexpr qint64 SecondUs = 1'000'000;

constexpr qint64 floorDiv(qint64 a, qint64 b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

} // namespace

Aim aimFrame(qint64 second, qint64 boundaryUs, qint64 nowUs, std::optional<qint64> spanUs)
{
    const qint64 span = spanUs.value_or(0);
    const qint64 margin = spanUs ? startMarginUs(span) : 0;
    if (nowUs < boundaryUs - span - margin)
        return {Aim::Do::Wait, second, boundaryUs - span - margin, {}};
    if (nowUs + span <= boundaryUs)
        return {Aim::Do::Send, second, 0, boundaryUs};
    // Late. At once, when it still ends inside its second and leaves the next second's frame
    // its time: the display turns to the right time sooner.
    const auto leavesTheNext = [&](qint64 at) {
        return nowUs + 2 * span + margin <= at + SecondUs;
    };
    if (leavesTheNext(boundaryUs))
        return {Aim::Do::Send, second, 0, {}};
    // Else made afresh, never for a second that has passed: for the first second it can end
    // in on the same terms, or start early enough for so that it ends on that second, whichever
    // comes first (on a line too slow for a frame a second, only the latter: never off a second).
    const auto secondFrom = [&](qint64 us) { return second - floorDiv(-us, SecondUs); };
    const qint64 inIt = secondFrom(nowUs + 2 * span + margin - SecondUs - boundaryUs);
    const qint64 onIt = secondFrom(nowUs + span + margin - boundaryUs);
    const qint64 current = second + floorDiv(nowUs - boundaryUs, SecondUs);
    return {Aim::Do::Remake, std::max({second + 1, current, std::min(inIt, onIt)}), 0, {}};
}

void FrameSlots::putNow(QString bits, std::optional<qint64> second)
{
    if (m_now)
        ++m_dropped;
    m_now = Frame{std::move(bits), std::nullopt, second, std::nullopt};
}

void FrameSlots::putTimed(QString bits, Timed timed)
{
    m_known = timed;
    put({std::move(bits), timed, std::nullopt});
}

void FrameSlots::put(Waiting frame)
{
    auto at =
        std::lower_bound(m_timed.begin(), m_timed.end(), frame.timed.second,
                         [](const Waiting& w, qint64 second) { return w.timed.second < second; });
    if (at != m_timed.end() && at->timed.second == frame.timed.second) {
        ++m_dropped;
        *at = std::move(frame);
        return;
    }
    m_timed.insert(at, std::move(frame));
    // Three seconds ahead is more than any tick hands over; beyond that the oldest goes.
    if (m_timed.size() > 3) {
        ++m_dropped;
        m_timed.erase(m_timed.begin());
    }
}

void FrameSlots::remake(Waiting& frame, qint64 second)
{
    const qint64 steps = second - frame.timed.second;
    frame.timed.boundaryUs += steps * SecondUs;
    frame.timed.blink = steps % 2 == 0 ? frame.timed.blink : -frame.timed.blink;
    frame.timed.second = second;
    frame.bits = m_maker(second, frame.timed.blink);
    frame.startUs.reset();
}

bool FrameSlots::dropTimed()
{
    m_known.reset();
    if (m_timed.empty())
        return false;
    m_dropped += m_timed.size();
    m_timed.clear();
    return true;
}

void FrameSlots::taskFirst()
{
    for (Waiting& w : m_timed) // they start later than they waited for
        w.startUs.reset();
}

void FrameSlots::portChosen(qint64 nowUs)
{
    portOpened();
    if (!m_maker || !m_known)
        return;
    const qint64 current = m_known->second + floorDiv(nowUs - m_known->boundaryUs, SecondUs);
    if (!m_timed.empty() && m_timed.front().timed.second <= current)
        return; // on its way already
    const qint64 steps = current - m_known->second;
    Timed timed{current, m_known->boundaryUs + steps * SecondUs,
                steps % 2 == 0 ? m_known->blink : -m_known->blink};
    QString bits = m_maker(current, timed.blink);
    if (!bits.isEmpty())
        put({std::move(bits), timed, std::nullopt});
}

FrameSlots::Step FrameSlots::next(qint64 nowUs, const FrameLead& lead, std::optional<int> txdLevel)
{
    if (m_now) {
        Frame frame = std::move(*m_now);
        m_now.reset();
        if (!shown(frame.second)) {
            taskFirst(); // the timed frames go after this one
            return {Step::Do::Send, 0, std::move(frame)};
        }
        ++m_dropped;
    }
    while (!m_timed.empty()) {
        Waiting& first = m_timed.front();
        const Aim aim = aimFrame(first.timed.second, first.timed.boundaryUs, nowUs,
                                 lead.lead(txdChanges(first.bits, txdLevel)));
        if (aim.what == Aim::Do::Wait) {
            first.startUs = aim.untilUs;
            return {Step::Do::Wait, aim.untilUs, {}};
        }
        if (aim.what == Aim::Do::Remake) {
            Waiting frame = std::move(first);
            m_timed.erase(m_timed.begin());
            // What waits for that second or before is as late as this one was.
            while (!m_timed.empty() && m_timed.front().timed.second <= aim.second) {
                ++m_dropped;
                m_timed.erase(m_timed.begin());
            }
            if (m_maker)
                remake(frame, aim.second);
            if (!m_maker || frame.bits.isEmpty()) {
                ++m_dropped;
                continue;
            }
            m_timed.insert(m_timed.begin(), std::move(frame));
            continue;
        }
        Waiting frame = std::move(first);
        m_timed.erase(m_timed.begin());
        if (shown(frame.timed.second)) {
            ++m_dropped;
            continue;
        }
        taskFirst();
        return {Step::Do::Send, 0,
                Frame{std::move(frame.bits), frame.startUs, frame.timed.second, aim.holdUs}};
    }
    return {};
}

void FrameSlots::frameSent(std::optional<qint64> second, bool whole)
{
    // A cut frame left the display showing neither second.
    m_shownSecond = whole ? second : std::nullopt;
}

bool FrameSlots::idle(qint64 nowUs) const
{
    return !m_now &&
           (m_timed.empty() || (m_timed.front().startUs && nowUs < *m_timed.front().startUs));
}

void FrameSlots::clear()
{
    m_now.reset();
    m_timed.clear();
}

} // namespace tikvor
