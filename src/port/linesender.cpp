#include "linesender.h"

#include "clock/sendframe.h"

#include <QDeadlineTimer>
#include <QThread>

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
        QMutexLocker lock(&m_mutex);
        m_stop = true;
        m_work.wakeAll();
    }
    m_thread->wait();
}

void LineSender::sendFrame(const QString& frame)
{
    QMutexLocker lock(&m_mutex);
    if (m_pending)
        ++m_stats.dropped;
    m_pending = frame;
    m_work.wakeAll();
}

int LineSender::OpenPort(const QString& mode)
{
    QMutexLocker lock(&m_mutex);
    // One open at a time, and each caller collects its own result.
    while (m_openMode || m_openResult)
        m_settled.wait(&m_mutex);
    m_openMode = mode;
    m_work.wakeAll();
    while (!m_openResult)
        m_settled.wait(&m_mutex);
    const int result = *m_openResult;
    m_openResult.reset();
    m_settled.wakeAll();
    return result;
}

LineSender::Stats LineSender::stats() const
{
    QMutexLocker lock(&m_mutex);
    return m_stats;
}

bool LineSender::waitIdle(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QMutexLocker lock(&m_mutex);
    while (!idle()) {
        if (!m_settled.wait(&m_mutex, deadline))
            return idle();
    }
    return true;
}

void LineSender::run()
{
    QMutexLocker lock(&m_mutex);
    for (;;) {
        while (!m_stop && !m_openMode && !m_pending)
            m_work.wait(&m_mutex);
        // An open asked for is answered even when stopping: its caller is waiting for it.
        if (m_openMode) {
            const QString mode = *m_openMode;
            m_busy = true;
            lock.unlock();
            const int result = m_lines.OpenPort(mode);
            lock.relock();
            m_busy = false;
            m_openMode.reset();
            m_openResult = result;
            m_settled.wakeAll();
            continue;
        }
        if (m_stop)
            break;
        m_workerState.FrameBits = std::move(*m_pending);
        m_pending.reset();
        m_busy = true;
        lock.unlock();
        const int sent = SendFrame(m_workerState, m_lines);
        lock.relock();
        m_busy = false;
        if (sent == m_workerState.FrameBits.size())
            ++m_stats.completed;
        else
            ++m_stats.cutShort;
        m_settled.wakeAll();
    }
}

} // namespace tikvor
