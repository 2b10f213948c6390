#pragma once
// The display link driven from a thread of its own, so the window never waits for the line.
//
// Every line operation can take a millisecond on a USB adapter (far more on a bad one), and a
// frame is 144 of them; opening a port takes several. LineSender owns (or borrows) the
// SerialLines and touches it only from its worker thread; the front end hands over frames and
// port choices and goes on.
//
// Contract:
// - sendFrame and sendFrameAt never wait. The worker clocks each frame out whole with SendFrame,
//   last character first. sendFrame's frame is for now: it goes as soon as the line is free.
//   sendFrameAt's frame is for later: it is meant to end (its last DTR fall returned) at endUs
//   on the line clock (nowUs), so it starts FrameLead's lead for it earlier, learnt from the
//   frames sent whole on this port; without a lead yet it starts at endUs. It never starts
//   before the frame on the line has ended nor before a frame for now, so a frame that takes
//   longer than a second goes back to back with the one before. At most one frame for now and
//   one for later wait: a newer one replaces the waiting one of its kind (counted as dropped),
//   since only the newest time is worth showing. A frame for later whose start has come when
//   the next one is handed over becomes the frame for now.
// - A frame may name the wall-clock second it shows. One that names the second of the frame
//   last sent whole on this port is dropped unsent: the tick's own frame and the one sent ahead
//   for the same second can meet (a port found late, a clock set on the second), and the
//   display already shows that second. An open, a reopen or a frame cut short forget it.
// - dropScheduled: the clock was set, so the frame for later, aimed by the old time, never goes
//   out (counted as dropped). The frame on the line is finished whole.
// - post never waits: the task runs on the worker between two frames, never inside one, with the
//   lines to itself, before any waiting frame, also before one waiting for its time. Tasks run
//   in the order posted. An open by a task, and the reopen after a loss, forget the lead. A port
//   choice is such a task: a frame that waits during the choice goes out afterwards, to the port
//   that won. Only a task can open a port: LineSender itself is no SerialLines, so nothing can open
//   a port behind the worker's back or wait inside a task for another task.
// - The port in use is the one of the last OpenPort that succeeded; without one, frames are
//   dropped unsent.
// - Lost and found: when a line operation fails, the port in use counts as lost and the frame
//   ends there. While lost, frames are not sent; before a frame, at most every RetryIntervalMs,
//   the worker opens the port in use again by its mode, and the frame goes out if that succeeds.
//   The listener hears of the loss and, once a frame has gone out whole again, of the return.
//   A task that opens a port ends a loss.
// - finish() is the way out and never waits: the frame in progress goes on to its end if it can
//   within FinishLimitMs of the request (else it is cut there), waiting frames and tasks are
//   dropped, no port is opened any more (an open in progress gives up between its steps: see
//   SerialLines::setAbandon), the lines of a port in use go to rest (DTR released, break off),
//   lines it owns are destroyed on the worker (which releases the port), and then `done` runs on
//   the worker. Destruction finishes the same way and waits for it.

#include "line/framelead.h"
#include "port/seriallines.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QThread;

namespace tikvor {

class LineSender final {
public:
    struct Stats {
        quint64 completed = 0; // frames clocked out whole
        quint64 dropped = 0;   // frames replaced by a newer one, or not sent without a port
        quint64 cutShort = 0;  // frames a failing line operation (or a non-digit) ended early
        quint64 reopened = 0;  // times a lost port was opened again
    };
    using Task = std::function<void(SerialLines& lines)>;
    // Called on the worker thread: true when the port in use is lost, false when frames flow
    // on it again.
    using LinkListener = std::function<void(bool lost)>;
    // Monotonic microseconds; injected by tests. Empty: the steady clock. An injected clock
    // cannot be waited on by the system: a frame waiting for its time looks at it every
    // millisecond.
    using Clock = std::function<qint64()>;

    explicit LineSender(std::unique_ptr<SerialLines> lines, LinkListener listener = {},
                        Clock clock = {});
    // Borrows lines, which must outlive this object and must not be used by anything else.
    explicit LineSender(SerialLines& lines, LinkListener listener = {}, Clock clock = {});
    ~LineSender();
    LineSender(const LineSender&) = delete;
    LineSender& operator=(const LineSender&) = delete;

    // second: the wall-clock second the frame shows, when it shows one.
    void sendFrame(const QString& frame, std::optional<qint64> second = {});
    void sendFrameAt(const QString& frame, qint64 endUs, std::optional<qint64> second = {});
    void dropScheduled();
    // The line clock.
    qint64 nowUs() const { return m_clock(); }
    void post(Task task);
    void finish(std::function<void()> done = {});
    // For an end that may wait (the session ending, the process exiting): true once the worker
    // has finished, false when timeoutMs ran out first.
    bool waitFinished(int timeoutMs);

    Stats stats() const;
    // For tests and benchmarks: waits until no frame is in progress or waiting and no task is
    // left (a frame for later whose start has not come counts as not waiting); false when
    // timeoutMs ran out first.
    bool waitIdle(int timeoutMs);

    // Frames come once a second; a little less keeps each second's frame from just missing it.
    static constexpr qint64 RetryIntervalMs = 900;
    static constexpr qint64 RetryIntervalUs = RetryIntervalMs * 1000;
    // How long the frame on the line may take to end once the program is asked to end.
    static constexpr qint64 FinishLimitMs = 1000;

private:
    // What the worker hands to tasks: the lines, remembering the mode of the port in use, and
    // failing every line operation once a frame has outrun the end's time limit.
    class TrackedLines final : public SerialLines {
    public:
        TrackedLines(SerialLines& lines, const Clock& clock) : m_lines(lines), m_clock(clock) {}
        int OpenPort(const QString& mode) override;
        std::optional<PortRefusal> refusal(int n) const override { return m_lines.refusal(n); }
        bool DTR(int level) override { return !cut() && m_lines.DTR(level); }
        bool TXD(int level) override;
        void rest();
        std::optional<QString> modeInUse;
        std::optional<int> txdLevel;      // the level TXD was last set to on the port in use
        bool opened = false;              // an OpenPort succeeded since the last look
        std::atomic<qint64> cutAt = 0;    // line clock; 0: no end asked for
        std::atomic<bool> ending = false; // the end is asked for: no port is opened any more

    private:
        bool cut() const;
        SerialLines& m_lines;
        const Clock& m_clock;
    };

    // A frame for now; spanFromUs: where its span starts (empty: when it starts).
    struct Pending {
        QString frame;
        std::optional<qint64> spanFromUs;
        std::optional<qint64> second;
    };
    // A frame for later, and what the worker made of it.
    struct Scheduled {
        QString frame;
        qint64 endUs = 0;
        std::optional<qint64> startUs; // set by the worker once it has looked at the frame
        bool waited = false;           // the worker waited for startUs: the span runs from there
        std::optional<qint64> second;
    };

    void run();
    // On the worker, unlocked. spanFromUs: where the frame's span starts (empty: when it starts).
    void send(QString frame, std::optional<qint64> spanFromUs, std::optional<qint64> second);
    // On the worker, locked: until untilUs, or sooner when something is handed over.
    void waitUntil(std::unique_lock<std::mutex>& lock, qint64 untilUs);
    bool idle() const;
    void setLost(bool lost);

    std::unique_ptr<SerialLines> m_own;
    Clock m_clock;
    TrackedLines m_lines;
    LinkListener m_listener;
    bool m_lost = false;                 // worker only
    qint64 m_lastAttempt = 0;            // worker only
    FrameLead m_lead;                    // worker only
    std::optional<qint64> m_shownSecond; // worker only: of the frame last sent whole
    const bool m_ownClock;               // the steady clock, which the system can wait on

    // Standard rather than Qt primitives so that ThreadSanitizer sees every hand-over.
    mutable std::mutex m_mutex;
    std::condition_variable m_work;    // to the worker: a frame, a task or the end
    std::condition_variable m_settled; // to callers: the worker went idle or finished
    std::optional<Pending> m_pending;  // for now
    std::optional<Scheduled> m_scheduled;
    std::deque<Task> m_tasks;
    std::function<void()> m_done;
    bool m_busy = false;
    bool m_stop = false;
    bool m_finished = false;
    Stats m_stats;

    std::unique_ptr<QThread> m_thread;
};

} // namespace tikvor
