#include "linesender.h"

#include "clock/sendframe.h"

#include <QThread>

#include <chrono>

namespace tikvor {

LineSender::LineSender(std::unique_ptr<SerialLines> lines) : LineSender(*lines)
{
    m_own = std::move(lines);
}

LineSender::LineSender(SerialLines& lines) : m_lines(lines)
{
    m_thread.reset(QThread::create([this] { run(); }));
    m_thread->setObjectName(QStringLiteral("LineSender"));
    m_thread->start();
}

LineSender::~LineSender()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_work.notify_all();
    m_thread->wait();
    // The worker released this lock last; taking it shows ThreadSanitizer the join that it
    // cannot see inside QThread::wait.
    const std::lock_guard lock(m_mutex);
}

void LineSender::sendFrame(const QString& frame)
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_pending)
            ++m_stats.dropped;
        m_pending = frame;
    }
    m_work.notify_all();
}

int LineSender::OpenPort(const QString& mode)
{
    std::unique_lock lock(m_mutex);
    // One open at a time, and each caller collects its own result.
    m_settled.wait(lock, [this] { return !m_openMode && !m_openResult; });
    m_openMode = mode;
    m_work.notify_all();
    m_settled.wait(lock, [this] { return m_openResult.has_value(); });
    const int result = *m_openResult;
    m_openResult.reset();
    m_settled.notify_all();
    return result;
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
                              [this] { return idle(); });
}

void LineSender::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_work.wait(lock, [this] { return m_stop || m_openMode || m_pending; });
        // An open asked for is answered even when stopping: its caller is waiting for it.
        if (m_openMode) {
            const QString mode = *m_openMode;
            m_busy = true;
            lock.unlock();
            const int result = m_lines.OpenPort(mode);
            lock.lock();
            m_busy = false;
            m_openMode.reset();
            m_openResult = result;
            m_settled.notify_all();
            continue;
        }
        if (m_stop)
            break;
        m_workerState.FrameBits = std::move(*m_pending);
        m_pending.reset();
        m_busy = true;
        lock.unlock();
        const int sent = SendFrame(m_workerState, m_lines);
        lock.lock();
        m_busy = false;
        if (sent == m_workerState.FrameBits.size())
            ++m_stats.completed;
        else
            ++m_stats.cutShort;
        m_settled.notify_all();
    }
}

} // namespace tikvor
