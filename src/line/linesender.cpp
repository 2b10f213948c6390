#include "linesender.h"

#include "clock/sendframe.h"

#include <QThread>

#include <chrono>

namespace tikvor {

namespace {

qint64 steadyMicroseconds()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

bool allDigits(const QString& frame)
{
    for (QChar c : frame) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

} // namespace

int LineSender::TrackedLines::OpenPort(const QString& mode)
{
    if (ending)
        return 0;
    const int result = m_lines.OpenPort(mode);
    if (result != 0) {
        modeInUse = mode;
        opened = true;
        txdLevel.reset();
    }
    return result;
}

bool LineSender::TrackedLines::TXD(int level)
{
    if (cut() || !m_lines.TXD(level))
        return false;
    txdLevel = level;
    return true;
}

bool LineSender::TrackedLines::cut() const
{
    const qint64 at = cutAt.load();
    return at != 0 && m_clock() >= at;
}

void LineSender::TrackedLines::rest()
{
    // Straight to the device: the time limit of the end does not apply to the rest itself.
    m_lines.DTR(0);
    m_lines.TXD(0);
}

LineSender::LineSender(std::unique_ptr<SerialLines> lines, LinkListener listener, Clock clock)
    : LineSender(*lines, std::move(listener), std::move(clock))
{
    m_own = std::move(lines);
}

LineSender::LineSender(SerialLines& lines, LinkListener listener, Clock clock)
    : m_clock(clock ? std::move(clock) : Clock(steadyMicroseconds)), m_lines(lines, m_clock),
      m_listener(std::move(listener)), m_ownClock(!clock)
{
    lines.setAbandon([this] { return m_lines.ending.load(); });
    m_thread.reset(QThread::create([this] { run(); }));
    m_thread->setObjectName(QStringLiteral("LineSender"));
    m_thread->start();
}

LineSender::~LineSender()
{
    finish();
    m_thread->wait();
    // The worker released this lock last; taking it shows ThreadSanitizer the join that it
    // cannot see inside QThread::wait.
    const std::lock_guard lock(m_mutex);
}

void LineSender::sendFrame(const QString& frame, std::optional<qint64> second)
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_stop)
            return;
        if (m_pending)
            ++m_stats.dropped;
        m_pending = Pending{frame, std::nullopt, second};
    }
    m_work.notify_all();
}

void LineSender::sendFrameAt(const QString& frame, qint64 endUs, std::optional<qint64> second)
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_stop)
            return;
        // A frame whose start has come is the frame for now: the worker has not woken for it
        // yet (the tick that hands the next one comes on the same second), or the line is still
        // busy with the one before. It goes next; the new one waits for its own time.
        if (m_scheduled && m_clock() >= m_scheduled->startUs.value_or(m_scheduled->endUs)) {
            if (m_pending)
                ++m_stats.dropped;
            m_pending = Pending{std::move(m_scheduled->frame),
                                m_scheduled->waited ? m_scheduled->startUs : std::nullopt,
                                m_scheduled->second};
        } else if (m_scheduled) {
            ++m_stats.dropped;
        }
        m_scheduled = Scheduled{frame, endUs, std::nullopt, false, second};
    }
    m_work.notify_all();
}

void LineSender::dropScheduled()
{
    {
        const std::lock_guard lock(m_mutex);
        if (!m_scheduled)
            return;
        ++m_stats.dropped;
        m_scheduled.reset();
    }
    m_work.notify_all();
}

void LineSender::post(Task task)
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_stop)
            return;
        m_tasks.push_back(std::move(task));
    }
    m_work.notify_all();
}

void LineSender::finish(std::function<void()> done)
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_stop)
            return;
        m_stop = true;
        m_done = std::move(done);
        m_lines.ending = true;
        m_lines.cutAt = m_clock() + FinishLimitMs * 1000;
    }
    m_work.notify_all();
}

bool LineSender::waitFinished(int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    return m_settled.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [this] { return m_finished; });
}

LineSender::Stats LineSender::stats() const
{
    const std::lock_guard lock(m_mutex);
    return m_stats;
}

bool LineSender::waitIdle(int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    return m_settled.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [this] { return idle() || m_finished; });
}

bool LineSender::idle() const
{
    if (m_busy || m_pending || !m_tasks.empty())
        return false;
    return !m_scheduled || (m_scheduled->startUs && m_clock() < *m_scheduled->startUs);
}

void LineSender::waitUntil(std::unique_lock<std::mutex>& lock, qint64 untilUs)
{
    using namespace std::chrono;
    if (m_ownClock)
        m_work.wait_until(lock, steady_clock::time_point(microseconds(untilUs)));
    else
        m_work.wait_for(lock, milliseconds(1));
}

void LineSender::setLost(bool lost)
{
    if (lost == m_lost)
        return;
    m_lost = lost;
    if (m_listener)
        m_listener(lost);
}

void LineSender::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_work.wait(lock,
                    [this] { return m_stop || !m_tasks.empty() || m_pending || m_scheduled; });
        if (m_stop)
            break;
        if (m_tasks.empty() && !m_pending) {
            // A frame for later: once it has waited for its start it keeps the aimed start as
            // the start of its span, so that the time the worker takes to wake is learnt too.
            Scheduled& next = *m_scheduled;
            const qint64 now = m_clock();
            const qint64 start =
                frameStart(next.endUs, m_lead.lead(txdChanges(next.frame, m_lines.txdLevel)), now);
            if (start > now) {
                next.startUs = start;
                next.waited = true;
                m_settled.notify_all();
                waitUntil(lock, start);
                continue; // anything may have come meanwhile: look again
            }
            const std::optional<qint64> spanFrom =
                next.waited ? next.startUs : std::optional<qint64>();
            QString frame = std::move(next.frame);
            const std::optional<qint64> second = next.second;
            m_scheduled.reset();
            m_busy = true;
            lock.unlock();
            send(std::move(frame), spanFrom, second);
            lock.lock();
        } else if (!m_tasks.empty()) {
            m_busy = true;
            if (m_scheduled) // it starts later than it waited for: look at it anew
                m_scheduled->waited = false;
            Task task = std::move(m_tasks.front());
            m_tasks.pop_front();
            lock.unlock();
            m_lines.opened = false;
            task(m_lines);
            // A port opened by the task is fresh: whatever was lost before is behind us, and its
            // frames take their own time.
            if (m_lines.opened) {
                setLost(false);
                m_lead.reset();
                m_shownSecond.reset();
            }
            lock.lock();
        } else {
            m_busy = true;
            if (m_scheduled)
                m_scheduled->waited = false;
            Pending next = std::move(*m_pending);
            m_pending.reset();
            lock.unlock();
            send(std::move(next.frame), next.spanFromUs, next.second);
            lock.lock();
        }
        m_busy = false;
        m_settled.notify_all();
    }
    m_tasks.clear();
    m_pending.reset();
    m_scheduled.reset();
    std::function<void()> done = std::move(m_done);
    lock.unlock();

    // The end: the lines at rest on the port in use, then the port given back.
    if (m_lines.modeInUse && !m_lost)
        m_lines.rest();
    m_own.reset();

    lock.lock();
    m_finished = true;
    m_busy = false;
    m_settled.notify_all();
    lock.unlock();
    // Last: whoever hears it may take the line as finished.
    if (done)
        done();
}

// Every frame starts here, the moment it is due: the one place that puts a frame on the line.
void LineSender::send(QString frame, std::optional<qint64> spanFromUs, std::optional<qint64> second)
{
    const auto count = [this](quint64 Stats::*field) {
        const std::lock_guard lock(m_mutex);
        ++(m_stats.*field);
    };
    if (!m_lines.modeInUse || (second && second == m_shownSecond))
        return count(&Stats::dropped);
    if (m_lost) {
        const qint64 now = m_clock();
        if (now - m_lastAttempt < RetryIntervalUs)
            return count(&Stats::dropped);
        m_lastAttempt = now;
        // The same device by its name, as the adapter comes back under it.
        if (m_lines.OpenPort(*m_lines.modeInUse) == 0)
            return count(&Stats::dropped);
        count(&Stats::reopened);
        m_lead.reset();
        m_shownSecond.reset();
        spanFromUs.reset(); // the open is no part of a frame's time
    }
    const int changes = txdChanges(frame, m_lines.txdLevel);
    const qint64 start = m_clock();
    const int sent = SendFrame(frame, m_lines);
    if (sent == frame.size()) {
        m_lead.record(m_clock() - spanFromUs.value_or(start), changes);
        m_shownSecond = second;
        count(&Stats::completed);
        setLost(false);
        return;
    }
    count(&Stats::cutShort);
    m_shownSecond.reset();
    // A frame of digits ends early only when the line failed (or the end cut it).
    if (allDigits(frame) && m_lines.cutAt.load() == 0) {
        m_lastAttempt = m_clock();
        setLost(true);
    }
}

} // namespace tikvor
