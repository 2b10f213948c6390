#pragma once
// The display link driven from a thread of its own, so the window never waits for the line.
//
// Every line operation can take a millisecond on a USB adapter (far more on a bad one), and a
// frame is 144 of them; opening a port takes several. LineSender owns (or borrows) the
// SerialLines and touches it only from its worker thread; the front end hands over frames and
// port choices and goes on.
//
// Contract:
// - sendFrame and sendTimed never wait. The worker clocks each frame out whole with SendFrame,
//   last character first. sendFrame's frame is for now: it goes as soon as the line is free, a
//   newer one replacing the one that waits. sendTimed's frame shows a wall-clock second, which
//   begins at its boundary on the line clock (nowUs): it starts FrameLead's lead for it earlier
//   (learnt from the frames sent whole on this port), plus a small margin, and the worker holds
//   its last falling clock edge for the boundary (not on an injected clock, which cannot be
//   waited on precisely; nor once the end is asked for), so a late wake-up or a slow line change
//   costs nothing. A frame that can no longer end inside its second is made afresh by the frame
//   maker for the first second it can end on, or dropped: an old time never goes out, and on a
//   line too slow for a frame a second every frame still ends on a second. (FrameSlots keeps
//   these rules, aimFrame decides.)
// - A frame may name the wall-clock second it shows. One that names the second of the frame
//   last sent whole on this port is dropped unsent: the display already shows that second. An
//   open, a reopen or a frame cut short forget it.
// - A port choice that opens a port has the frame of the second now current follow at once
//   (when a maker is set and a timed frame told the instant of a second), so a switch never
//   leaves a second out on the new port.
// - dropScheduled: the clock was set, so the timed frames, aimed by the old time, never go out
//   (counted as dropped). The frame on the line is finished whole.
// - post never waits: the task runs on the worker between two frames, never inside one, with the
//   lines to itself, before any waiting frame, also before one waiting for its time. Tasks run
//   in the order posted. An open by a task, and the reopen after a loss, forget the lead but
//   for a guess (FrameLead::reset). A port
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
// - The worker asks the system for a higher priority and the finest timers (tuneLineThread).
// - Destruction finishes the same way and waits for the worker until EndGraceMs past the end's
//   time limit (on the line clock; FinishLimitMs after the first finish()). A worker still
//   held inside a device call then (a hung driver) is left to end alone: it keeps what it uses,
//   owned lines included, and releases them once the call returns; it calls the listener and
//   `done` no more, and every line operation after the call fails. What a task held so captures
//   must outlive that call. Borrowed lines are the caller's to keep alive until then.

#include "line/framelead.h"
#include "line/frameslots.h"
#include "line/linethread.h"
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
        qint64 heldUs = 0;     // the last edges held for their second, all told
        qint64 mostHeldUs = 0; // the longest of them
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
    void sendTimed(const QString& frame, FrameSlots::Timed timed);
    // Set before the first timed frame; called on the worker thread.
    void setFrameMaker(FrameMaker maker);
    void dropScheduled();
    // The line clock.
    qint64 nowUs() const { return m_clock(); }
    void post(Task task);
    void finish(std::function<void()> done = {});
    // For an end that may wait (the session ending, the process exiting): true once the worker
    // has finished, false when timeoutMs ran out first.
    bool waitFinished(int timeoutMs);

    Stats stats() const;
    // What the line thread got of the scheduler (see tuneLineThread), once it has started.
    LinePriority priority() const;
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
