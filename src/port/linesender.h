#pragma once
// The display link driven from a thread of its own, so the window never waits for the line.
//
// Every line operation can take a millisecond on a USB adapter, and a frame is 144 of them; made
// on the window's thread they freeze the window for a good part of every second. LineSender
// owns (or borrows) the SerialLines and touches it only from its worker thread; the window hands
// over frames and port changes and goes on.
//
// Contract:
// - sendFrame never waits. The worker clocks each frame out whole with SendFrame, last
//   character first, in the order handed over. A frame in progress is always completed. At most
//   one frame waits behind it: a newer frame replaces a waiting one (counted as dropped), since
//   only the newest time is worth showing. A frame that a line operation cut short is not
//   resumed; the next one starts again from its last character.
// - OpenPort runs on the worker between two frames, never inside one, and returns its result
//   to the caller, who waits for the frame in progress to end (at most one frame). A waiting
//   frame is kept and goes out after the open, to whichever port is in use then: it holds the
//   newest time, and the port selection wants the display updated on the new port at once.
// - DTR and TXD do nothing and return false: a single line operation from another thread
//   would land in the middle of a frame. Only the port selection uses this object as its
//   SerialLines, and it calls OpenPort alone.
// - Destruction lets the frame in progress finish, drops a waiting one and joins the worker.

#include "clock/clockstate.h"
#include "seriallines.h"

#include <QString>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

class QThread;

namespace tikvor {

class LineSender final : public SerialLines {
public:
    struct Stats {
        quint64 completed = 0; // frames clocked out whole
        quint64 dropped = 0;   // frames replaced by a newer one before they started
        quint64 cutShort = 0;  // frames a failing line operation (or a non-digit) ended early
    };

    explicit LineSender(std::unique_ptr<SerialLines> lines);
    // Borrows lines, which must outlive this object and must not be used by anything else.
    explicit LineSender(SerialLines& lines);
    ~LineSender() override;
    LineSender(const LineSender&) = delete;
    LineSender& operator=(const LineSender&) = delete;

    void sendFrame(const QString& frame);
    int OpenPort(const QString& mode) override;
    bool DTR(int) override { return false; }
    bool TXD(int) override { return false; }

    Stats stats() const;
    // For tests and benchmarks: waits until no frame is in progress or waiting and no open is
    // asked for; false when timeoutMs ran out first.
    bool waitIdle(int timeoutMs);

private:
    void run();
    bool idle() const { return !m_busy && !m_pending && !m_openMode; }

    std::unique_ptr<SerialLines> m_own;
    SerialLines& m_lines;
    ClockState m_workerState; // ShiftPosition and ShiftCounter belong to the worker alone

    // Standard rather than Qt primitives so that ThreadSanitizer sees every hand-over.
    mutable std::mutex m_mutex;
    std::condition_variable m_work;    // to the worker: a frame, an open or the end
    std::condition_variable m_settled; // to callers: an open answered, a frame finished
    std::optional<QString> m_pending;
    std::optional<QString> m_openMode;
    std::optional<int> m_openResult;
    bool m_busy = false;
    bool m_stop = false;
    Stats m_stats;

    std::unique_ptr<QThread> m_thread;
};

} // namespace tikvor
