#pragma once
// The display link driven from a thread of its own, so the window never waits for the line.
//
// Every line operation can take a millisecond on a USB adapter (far more on a bad one), and a
// frame is 144 of them; opening a port takes several. LineSender owns (or borrows) the
// SerialLines and touches it only from its worker thread; the window hands over frames and port
// choices and goes on.
//
// Contract:
// - sendFrame never waits. The worker clocks each frame out whole with SendFrame, last
//   character first, in the order handed over. A frame in progress is always completed. At most
//   one frame waits behind it: a newer frame replaces a waiting one (counted as dropped), since
//   only the newest time is worth showing.
// - post never waits: the task runs on the worker between two frames, never inside one, with the
//   lines to itself, before any waiting frame. Tasks run in the order posted. A port choice is
//   such a task: a frame that waits during the choice goes out afterwards, to the port that won.
// - The port in use is the one of the last OpenPort that succeeded; without one, frames are
//   dropped unsent.
// - Lost and found: when a line operation fails, the port in use counts as lost and the frame
//   ends there. While lost, frames are not sent; before a frame, once a second, the
//   worker opens the port in use again by its mode (at most every RetryIntervalMs), and the
//   frame goes out if that succeeds.
//   The listener hears of the loss and, once a frame has gone out whole again, of the return.
//   A task that opens a port ends a loss.
// - OpenPort runs as a task and waits for its result (for tests and benchmarks). DTR and TXD do
//   nothing and return false: a single line operation from another thread would land in the
//   middle of a frame.
// - Destruction lets the frame in progress finish, drops a waiting one and joins the worker;
//   tasks not yet run are dropped.

#include "clock/clockstate.h"
#include "seriallines.h"

#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QThread;

namespace tikvor {

class LineSender final : public SerialLines {
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
    // Monotonic milliseconds; injected by tests.
    using Clock = std::function<qint64()>;

    explicit LineSender(std::unique_ptr<SerialLines> lines);
    // Borrows lines, which must outlive this object and must not be used by anything else.
    explicit LineSender(SerialLines& lines);
    ~LineSender() override;
    LineSender(const LineSender&) = delete;
    LineSender& operator=(const LineSender&) = delete;

    // Before the first frame or task.
    void setLinkListener(LinkListener listener) { m_listener = std::move(listener); }
    void setClock(Clock clock) { m_clock = std::move(clock); }

    void sendFrame(const QString& frame);
    void post(Task task);
    int OpenPort(const QString& mode) override;
    bool DTR(int) override { return false; }
    bool TXD(int) override { return false; }

    Stats stats() const;
    // For tests and benchmarks: waits until no frame is in progress or waiting and no task is
    // left; false when timeoutMs ran out first.
    bool waitIdle(int timeoutMs);

    // Frames come once a second; a little less keeps each second's frame from just missing it.
    static constexpr qint64 RetryIntervalMs = 900;

private:
    // What the worker hands to tasks: the lines, remembering the mode of the port in use.
    class TrackedLines final : public SerialLines {
    public:
        explicit TrackedLines(SerialLines& lines) : m_lines(lines) {}
        int OpenPort(const QString& mode) override;
        bool DTR(int level) override { return m_lines.DTR(level); }
        bool TXD(int level) override { return m_lines.TXD(level); }
        std::optional<QString> modeInUse;
        bool opened = false; // an OpenPort succeeded since the last look

    private:
        SerialLines& m_lines;
    };

    void run();
    void send(QString frame); // on the worker, unlocked
    bool idle() const { return !m_busy && !m_pending && m_tasks.empty(); }
    void setLost(bool lost);

    std::unique_ptr<SerialLines> m_own;
    TrackedLines m_lines;
    ClockState m_workerState; // ShiftPosition and ShiftCounter belong to the worker alone
    LinkListener m_listener;
    Clock m_clock;
    bool m_lost = false;         // worker only
    qint64 m_lastAttempt = 0;    // worker only

    // Standard rather than Qt primitives so that ThreadSanitizer sees every hand-over.
    mutable std::mutex m_mutex;
    std::condition_variable m_work;    // to the worker: a frame, a task or the end
    std::condition_variable m_settled; // to callers: the worker went idle
    std::optional<QString> m_pending;
    std::deque<Task> m_tasks;
    bool m_busy = false;
    bool m_stop = false;
    Stats m_stats;

    std::unique_ptr<QThread> m_thread;
};

} // namespace tikvor
