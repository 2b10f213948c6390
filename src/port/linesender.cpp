#include "linesender.h"

#include "clock/sendframe.h"

#include <QThread>

#include <chrono>

namespace tikvor {

namespace {

qint64 steadyMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
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
    const int result = m_lines.OpenPort(mode);
    if (result != 0) {
        modeInUse = mode;
        opened = true;
    }
    return result;
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
    : m_clock(clock ? std::move(clock) : Clock(steadyMilliseconds)), m_lines(lines, m_clock),
      m_listener(std::move(listener))
{
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

void LineSender::sendFrame(const QString& frame)
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_stop)
            return;
        if (m_pending)
            ++m_stats.dropped;
        m_pending = frame;
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
        m_lines.cutAt = m_clock() + FinishLimitMs;
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
        m_work.wait(lock, [this] { return m_stop || !m_tasks.empty() || m_pending; });
        if (m_stop)
            break;
        m_busy = true;
        if (!m_tasks.empty()) {
            Task task = std::move(m_tasks.front());
            m_tasks.pop_front();
            lock.unlock();
            m_lines.opened = false;
            task(m_lines);
            // A port opened by the task is fresh: whatever was lost before is behind us.
            if (m_lines.opened)
                setLost(false);
            lock.lock();
        } else {
            QString frame = std::move(*m_pending);
            m_pending.reset();
            lock.unlock();
            send(std::move(frame));
            lock.lock();
        }
        m_busy = false;
        m_settled.notify_all();
    }
    m_tasks.clear();
    m_pending.reset();
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

// Every frame starts here, the moment it is handed over: the one place that decides when a
// frame goes on the line.
void LineSender::send(QString frame)
{
    const auto count = [this](quint64 Stats::*field) {
        const std::lock_guard lock(m_mutex);
        ++(m_stats.*field);
    };
    if (!m_lines.modeInUse)
        return count(&Stats::dropped);
    if (m_lost) {
        const qint64 now = m_clock();
        if (now - m_lastAttempt < RetryIntervalMs)
            return count(&Stats::dropped);
        m_lastAttempt = now;
        // The same device by its name, as the adapter comes back under it.
        if (m_lines.OpenPort(*m_lines.modeInUse) == 0)
            return count(&Stats::dropped);
        count(&Stats::reopened);
    }
    m_frame = std::move(frame);
    const int sent = SendFrame(m_frame, m_lines);
    if (sent == m_frame.size()) {
        count(&Stats::completed);
        setLost(false);
        return;
    }
    count(&Stats::cutShort);
    // A frame of digits ends early only when the line failed (or the end cut it).
    if (allDigits(m_frame) && m_lines.cutAt.load() == 0) {
        m_lastAttempt = m_clock();
        setLost(true);
    }
}

} // namespace tikvor
