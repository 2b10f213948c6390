#include "linesender.h"

#include "clock/frame.h"
#include "clock/sendframe.h"
#include "line/frameslots.h"
#include "line/linethread.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#if defined(__linux__)
#include <pthread.h>
#endif

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

// What the worker hands to tasks: the lines, remembering the mode of the port in use, and
// failing every line operation once the end's time limit has passed.
class TrackedLines final : public SerialLines {
public:
    TrackedLines(SerialLines& lines, const LineSender::Clock& clock)
        : m_lines(lines), m_clock(clock)
    {
    }
    int OpenPort(const QString& mode) override
    {
        if (*ending)
            return 0;
        const int result = m_lines.OpenPort(mode);
        if (result != 0) {
            modeInUse = mode;
            opened = true;
            txdLevel.reset();
        }
        return result;
    }
    std::optional<PortRefusal> refusal(int n) const override { return m_lines.refusal(n); }
    std::optional<qint64> lineChangeUs() const override { return m_lines.lineChangeUs(); }
    bool DTR(int level) override { return !cut() && m_lines.DTR(level); }
    bool TXD(int level) override
    {
        if (cut() || !m_lines.TXD(level))
            return false;
        txdLevel = level;
        return true;
    }
    void rest()
    {
        // Straight to the device: the time limit of the end does not apply to the rest itself.
        m_lines.DTR(0);
        m_lines.TXD(0);
    }

    std::optional<QString> modeInUse;
    std::optional<int> txdLevel;   // the level TXD was last set to on the port in use
    bool opened = false;           // an OpenPort succeeded since the last look
    std::atomic<qint64> cutAt = 0; // line clock; 0: no end asked for
    // The end is asked for: no port is opened any more. Shared with the lines' abandon test,
    // which may outlive the worker when the lines are borrowed.
    const std::shared_ptr<std::atomic<bool>> ending = std::make_shared<std::atomic<bool>>(false);
    std::atomic<bool> orphaned = false; // the LineSender has gone: the clock may be gone too

private:
    bool cut() const
    {
        if (orphaned)
            return true;
        const qint64 at = cutAt.load();
        return at != 0 && m_clock() >= at;
    }

    SerialLines& m_lines;
    const LineSender::Clock& m_clock;
};

// The lines as SendFrame drives them, the last falling clock edge of a frame held for the
// instant the frame is aimed at. The frame started a little early; what it has left over is
// spent here, so a late wake-up or a slow change on the way costs nothing.
class HeldEnd final : public LineDriver {
public:
    // Longer than this the estimate was wrong, and the line is not held up for it.
    static constexpr qint64 HoldLimitUs = 100'000;

    using Wait = std::function<void(qint64 untilUs)>;
    HeldEnd(LineDriver& lines, const LineSender::Clock& clock, qsizetype bits, qint64 holdUs,
            Wait wait)
        : m_lines(lines), m_clock(clock), m_bits(bits), m_holdUs(holdUs), m_wait(std::move(wait))
    {
    }
    bool DTR(int level) override
    {
        if (level == 0 && ++m_falls == m_bits)
            hold();
        const qint64 before = m_clock();
        const bool done = m_lines.DTR(level);
        if (m_count < m_changeUs.size())
            m_changeUs[m_count++] = m_clock() - before;
        return done;
    }
    bool TXD(int level) override { return m_lines.TXD(level); }

    qint64 heldUs = 0;

private:
    void hold()
    {
        if (!m_wait || m_count == 0)
            return;
        // The middle of what a change took in this frame: one slow change moves it by nothing.
        auto middle = m_changeUs.begin() + m_count / 2;
        std::nth_element(m_changeUs.begin(), middle, m_changeUs.begin() + m_count);
        const qint64 now = m_clock();
        const qint64 wait = std::min(paceWaitUs(1, m_holdUs - now, *middle), HoldLimitUs);
        if (wait <= 0)
            return;
        m_wait(now + wait);
        heldUs = m_clock() - now;
    }

    LineDriver& m_lines;
    const LineSender::Clock& m_clock;
    qsizetype m_bits;
    qint64 m_holdUs;
    Wait m_wait;
    qsizetype m_falls = 0;
    std::array<qint64, 2 * FrameLength> m_changeUs{};
    size_t m_count = 0;
};

// The steady clock to the microsecond: a sleep until just before, then a spin. A sleep wakes
// late by what the scheduler makes it wait (tens of microseconds on a quiet machine, a few
// milliseconds when every core is busy), so the spin covers the last eight wake-ups but one:
// a short spin where the machine is quiet, a longer one only where it is busy anyway.
class PreciseWait {
public:
    void operator()(qint64 untilUs)
    {
        // The second latest: one odd wake-up does not make every hold spin long.
        std::array<qint64, 8> late = m_lateUs;
        std::nth_element(late.begin(), late.end() - 2, late.end());
        const qint64 spinUs =
            std::clamp<qint64>(late[late.size() - 2] + MinSpinUs, MinSpinUs, MaxSpinUs);
        const qint64 wakeAt = untilUs - spinUs;
        if (steadyMicroseconds() < wakeAt) {
            sleepUntilSteady(wakeAt);
            m_lateUs[m_next++ % m_lateUs.size()] = steadyMicroseconds() - wakeAt;
        }
        while (steadyMicroseconds() < untilUs) {
        }
    }

private:
    static constexpr qint64 MinSpinUs = 50;
    static constexpr qint64 MaxSpinUs = 5000; // the start margin: more is never held
    std::array<qint64, 8> m_lateUs{};
    size_t m_next = 0;
};

} // namespace

struct LineSender::Worker {
    Worker(std::unique_ptr<SerialLines> ownLines, SerialLines& lines, LinkListener listener,
           Clock lineClock, bool steady)
        : own(std::move(ownLines)), clock(std::move(lineClock)), ownClock(steady),
          tracked(lines, clock), linkListener(std::move(listener)), reconnect([this](bool lost) {
              if (linkListener)
                  callOut([&] { linkListener(lost); });
          })
    {
    }

    void run();
    void runTask(std::unique_lock<std::mutex>& lock);
    void send(FrameSlots::Frame frame);
    void end(std::unique_lock<std::mutex>& lock);
    // Locked: until untilUs, or sooner when something is handed over.
    void waitUntil(std::unique_lock<std::mutex>& lock, qint64 untilUs);
    // Locked: the worker has ended, or the line clock has reached untilUs.
    bool waitEnded(std::unique_lock<std::mutex>& lock, qint64 untilUs);
    bool idle() const { return !busy && tasks.empty() && frames.idle(clock()); }
    void count(quint64 Stats::*field)
    {
        const std::lock_guard lock(mutex);
        ++(stats.*field);
    }
    // Unlocked: the owner's code, unless the owner has gone. Its destruction waits for a call
    // under way.
    template <typename Call> void callOut(Call&& call)
    {
        {
            const std::lock_guard lock(mutex);
            if (tracked.orphaned)
                return;
            callingOut = true;
        }
        call();
        {
            const std::lock_guard lock(mutex);
            callingOut = false;
        }
        settled.notify_all();
    }

    std::unique_ptr<SerialLines> own;
    const Clock clock;
    const bool ownClock; // the steady clock, which the system can wait on
    TrackedLines tracked;
    LinkListener linkListener;
    // Worker only.
    Reconnect reconnect;
    FrameLead lead;
    PreciseWait preciseWait;

    // Standard rather than Qt primitives so that ThreadSanitizer sees every hand-over.
    std::mutex mutex;
    std::condition_variable work;    // to the worker: a frame, a task or the end
    std::condition_variable settled; // to callers: the worker went idle, finished or ended
    FrameSlots frames;
    std::deque<Task> tasks;
    std::function<void()> done;
    bool busy = false;
    bool stop = false;
    bool finished = false;   // the lines are at rest and given back
    bool ended = false;      // nothing of the owner is called any more
    bool callingOut = false; // in the listener or `done`
    Stats stats;
    std::atomic<LinePriority> priority = LinePriority::Normal;
};

void LineSender::Worker::run()
{
    std::unique_lock lock(mutex);
    for (;;) {
        work.wait(lock, [this] { return stop || !tasks.empty() || frames.waiting(); });
        if (stop)
            break;
        if (!tasks.empty()) {
            runTask(lock);
        } else {
            FrameSlots::Step step = frames.next(clock(), lead, tracked.txdLevel);
            if (step.what == FrameSlots::Step::Do::Wait) {
                settled.notify_all(); // it counts as idle until its start
                waitUntil(lock, step.untilUs);
                continue; // anything may have come meanwhile: look again
            }
            if (step.what == FrameSlots::Step::Do::Send) {
                busy = true;
                lock.unlock();
                send(std::move(step.frame));
                lock.lock();
            }
        }
        busy = false;
        settled.notify_all();
    }
    end(lock);
}

void LineSender::Worker::runTask(std::unique_lock<std::mutex>& lock)
{
    busy = true;
    frames.taskFirst();
    Task task = std::move(tasks.front());
    tasks.pop_front();
    lock.unlock();
    tracked.opened = false;
    task(tracked);
    // A port opened by the task is fresh: whatever was lost before is behind us, and its frames
    // take their own time.
    if (tracked.opened) {
        reconnect.portOpened();
        lead.reset(tracked.lineChangeUs());
    }
    lock.lock();
    if (tracked.opened)
        frames.portChosen(clock());
}

// Every frame starts here, the moment it is due: the one place that puts a frame on the line.
void LineSender::Worker::send(FrameSlots::Frame frame)
{
    if (!tracked.modeInUse)
        return count(&Stats::dropped);
    if (reconnect.lost()) {
        if (!reconnect.reopenDue(clock()))
            return count(&Stats::dropped);
        // The same device by its name, as the adapter comes back under it.
        if (tracked.OpenPort(*tracked.modeInUse) == 0)
            return count(&Stats::dropped);
        lead.reset(tracked.lineChangeUs());
        {
            const std::lock_guard lock(mutex);
            ++stats.reopened;
            frames.portOpened();
        }
        frame.spanFromUs.reset(); // the open is no part of a frame's time
    }
    const int changes = txdChanges(frame.bits, tracked.txdLevel);
    const qint64 start = clock();
    // Not at the end: then the frame only has to be whole. Nor on an injected clock, which
    // cannot be waited on.
    const bool holds = frame.holdUs && ownClock && tracked.cutAt.load() == 0;
    HeldEnd held(tracked, clock, frame.bits.size(), frame.holdUs.value_or(0),
                 holds ? HeldEnd::Wait(std::ref(preciseWait)) : HeldEnd::Wait());
    const bool whole = SendFrame(frame.bits, held) == frame.bits.size();
    // What the frame itself takes, the hold left out, which the next lead would otherwise grow by.
    if (whole)
        lead.record(clock() - frame.spanFromUs.value_or(start) - held.heldUs, changes);
    {
        const std::lock_guard lock(mutex);
        ++(whole ? stats.completed : stats.cutShort);
        stats.heldUs += held.heldUs;
        stats.mostHeldUs = std::max(stats.mostHeldUs, held.heldUs);
        frames.frameSent(frame.second, whole);
    }
    if (whole)
        reconnect.frameWhole();
    // A frame of digits ends early only when the line failed (or the end cut it).
    else if (allDigits(frame.bits) && tracked.cutAt.load() == 0)
        reconnect.lose(clock());
}

void LineSender::Worker::end(std::unique_lock<std::mutex>& lock)
{
    tasks.clear();
    frames.clear();
    std::function<void()> then = std::move(done);
    lock.unlock();

    // The lines at rest on the port in use, then the port given back.
    if (tracked.modeInUse && !reconnect.lost())
        tracked.rest();
    own.reset();

    lock.lock();
    finished = true;
    busy = false;
    settled.notify_all();
    lock.unlock();
    // Last: whoever hears it may take the line as finished.
    if (then)
        callOut(then);
    lock.lock();
    ended = true;
    settled.notify_all();
}

void LineSender::Worker::waitUntil(std::unique_lock<std::mutex>& lock, qint64 untilUs)
{
    using namespace std::chrono;
    if (!ownClock) {
        work.wait_for(lock, milliseconds(1));
        return;
    }
    // Where such a wait wakes only on the system tick, the last stretch is a precise sleep:
    // what is handed over meanwhile waits that long at most.
    const qint64 coarseUntil = untilUs - coarseWaitUs();
    if (coarseWaitUs() == 0 || steadyMicroseconds() < coarseUntil) {
        work.wait_until(lock, steady_clock::time_point(microseconds(coarseUntil)));
        return;
    }
    lock.unlock();
    sleepUntilSteady(untilUs);
    lock.lock();
}

bool LineSender::Worker::waitEnded(std::unique_lock<std::mutex>& lock, qint64 untilUs)
{
    using namespace std::chrono;
    if (ownClock)
        return settled.wait_until(lock, steady_clock::time_point(microseconds(untilUs)),
                                  [this] { return ended; });
    while (!ended && clock() < untilUs)
        settled.wait_for(lock, milliseconds(1));
    return ended;
}

LineSender::LineSender(std::unique_ptr<SerialLines> lines, LinkListener listener, Clock clock)
    : LineSender(std::move(lines), *lines, std::move(listener), std::move(clock)) // binds only
{
}

LineSender::LineSender(SerialLines& lines, LinkListener listener, Clock clock)
    : LineSender(nullptr, lines, std::move(listener), std::move(clock))
{
}

LineSender::LineSender(std::unique_ptr<SerialLines>&& own, SerialLines& lines,
                       LinkListener listener, Clock clock)
{
    const bool steady = !clock;
    m_clock = steady ? Clock(steadyMicroseconds) : std::move(clock);
    m_worker =
        std::make_shared<Worker>(std::move(own), lines, std::move(listener), m_clock, steady);
    lines.setAbandon([ending = m_worker->tracked.ending] { return ending->load(); });
    m_thread = std::thread([worker = m_worker] {
#if defined(__linux__)
        pthread_setname_np(pthread_self(), "LineSender");
#endif
        worker->priority = tuneLineThread();
        worker->run();
    });
}

LineSender::~LineSender()
{
    finish();
    Worker& w = *m_worker;
    std::unique_lock lock(w.mutex);
    if (w.waitEnded(lock, w.tracked.cutAt.load() + EndGraceMs * 1000)) {
        lock.unlock();
        m_thread.join();
        return;
    }
    // Held inside a device call: it goes on alone with what it holds, and calls us no more.
    w.settled.wait(lock, [&w] { return !w.callingOut; });
    w.tracked.orphaned = true;
    lock.unlock();
    m_thread.detach();
}

void LineSender::sendFrame(const QString& frame, std::optional<qint64> second)
{
    {
        const std::lock_guard lock(m_worker->mutex);
        if (m_worker->stop)
            return;
        m_worker->frames.putNow(frame, second);
    }
    m_worker->work.notify_all();
}

void LineSender::sendTimed(const QString& frame, FrameSlots::Timed timed)
{
    {
        const std::lock_guard lock(m_worker->mutex);
        if (m_worker->stop)
            return;
        m_worker->frames.putTimed(frame, timed);
    }
    m_worker->work.notify_all();
}

void LineSender::setFrameMaker(FrameMaker maker)
{
    const std::lock_guard lock(m_worker->mutex);
    m_worker->frames.setMaker(std::move(maker));
}

void LineSender::dropScheduled()
{
    {
        const std::lock_guard lock(m_worker->mutex);
        if (!m_worker->frames.dropTimed())
            return;
    }
    m_worker->work.notify_all();
}

void LineSender::post(Task task)
{
    {
        const std::lock_guard lock(m_worker->mutex);
        if (m_worker->stop)
            return;
        m_worker->tasks.push_back(std::move(task));
    }
    m_worker->work.notify_all();
}

void LineSender::finish(std::function<void()> done)
{
    {
        const std::lock_guard lock(m_worker->mutex);
        if (m_worker->stop)
            return;
        m_worker->stop = true;
        m_worker->done = std::move(done);
        *m_worker->tracked.ending = true;
        m_worker->tracked.cutAt = m_clock() + FinishLimitMs * 1000;
    }
    m_worker->work.notify_all();
}

bool LineSender::waitFinished(int timeoutMs)
{
    std::unique_lock lock(m_worker->mutex);
    return m_worker->settled.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                      [this] { return m_worker->finished; });
}

LinePriority LineSender::priority() const
{
    return m_worker->priority.load();
}

LineSender::Stats LineSender::stats() const
{
    const std::lock_guard lock(m_worker->mutex);
    Stats stats = m_worker->stats;
    stats.dropped += m_worker->frames.dropped();
    return stats;
}

bool LineSender::waitIdle(int timeoutMs)
{
    std::unique_lock lock(m_worker->mutex);
    return m_worker->settled.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                      [this] { return m_worker->idle() || m_worker->finished; });
}

} // namespace tikvor
