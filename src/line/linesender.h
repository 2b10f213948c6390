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
//   the next one is handed over becomes the frame for now. (FrameSlots keeps these rules.)
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
// - Lost and found (Reconnect): when a line operation fails, the port in use counts as lost and
//   the frame ends there. While lost, frames are not sent; before a frame, at most every
//   RetryIntervalMs, the worker opens the port in use again by its mode, and the frame goes out
//   if that succeeds. The listener hears of the loss and, once a frame has gone out whole again,
//   of the return. A task that opens a port ends a loss.
// - finish() is the way out and never waits: the frame in progress goes on to its end if it can
//   within FinishLimitMs of the request (else it is cut there), and so do the line operations of
//   a task in progress; waiting frames and tasks are dropped, no port is opened any more (an
//   open in progress gives up between its steps: see SerialLines::setAbandon), the lines of a
//   port in use go to rest (DTR released, break off), lines it owns are destroyed on the worker
//   (which releases the port), and then `done` runs on the worker.
// - Destruction finishes the same way and waits for the worker until EndGraceMs past the end's
//   time limit (on the line clock; FinishLimitMs after the first finish()). A worker still
//   held inside a device call then (a hung driver) is left to end alone: it keeps what it uses,
//   owned lines included, and releases them once the call returns; it calls the listener and
//   `done` no more, and every line operation after the call fails. What a task held so captures
//   must outlive that call. Borrowed lines are the caller's to keep alive until then.

#include "line/framelead.h"
#include "line/reconnect.h"
#include "port/seriallines.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <thread>

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
    // Borrows lines, which must outlive the worker (see destruction above) and must not be used
    // by anything else.
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

    static constexpr qint64 RetryIntervalMs = Reconnect::RetryIntervalMs;
    static constexpr qint64 RetryIntervalUs = Reconnect::RetryIntervalUs;
    // How long the frame on the line may take to end once the program is asked to end.
    static constexpr qint64 FinishLimitMs = 1000;
    // What destruction allows the worker beyond that: the lines to rest, the port to close.
    static constexpr qint64 EndGraceMs = 500;

private:
    // Everything the worker thread touches, shared with it so that a worker that outlives its
    // LineSender (held in a device call) finds it all still there.
    struct Worker;

    LineSender(std::unique_ptr<SerialLines>&& own, SerialLines& lines, LinkListener listener,
               Clock clock);

    Clock m_clock;
    std::shared_ptr<Worker> m_worker;
    std::thread m_thread;
};

} // namespace tikvor
