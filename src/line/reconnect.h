#pragma once
// Lost and found: whether the port in use still answers, and when to try it again.
//
// An adapter pulled out fails its line operations; plugged in again it comes back under the
// same name but has to be opened anew. Trying that before every frame would put an open, slow
// on a bad adapter, in front of each second, so the tries are spaced.
//
// Contract (one thread, times in microseconds on the line clock):
// - lose(): a line operation failed; the port counts as lost from then.
// - reopenDue(): while lost, true at most once per RetryIntervalUs, counted from the loss or
//   the last try; the caller then opens the port again. Not lost: false.
// - The listener hears of each change: true when lost, false once a frame has gone out whole
//   again (frameWhole) or a task has opened a port (portOpened). A reopen alone is not enough:
//   the port may open and still fail.

#include <QtGlobal>

#include <functional>

namespace tikvor {

class Reconnect {
public:
    using Listener = std::function<void(bool lost)>;

    // Frames come once a second; a little less keeps each second's frame from just missing it.
    static constexpr qint64 RetryIntervalMs = 900;
    static constexpr qint64 RetryIntervalUs = RetryIntervalMs * 1000;

    explicit Reconnect(Listener listener = {}) : m_listener(std::move(listener)) {}

    bool lost() const { return m_lost; }
    void lose(qint64 nowUs);
    bool reopenDue(qint64 nowUs);
    void frameWhole() { set(false); }
    void portOpened() { set(false); }

private:
    void set(bool lost);

    Listener m_listener;
    bool m_lost = false;
    qint64 m_lastTry = 0;
};

} // namespace tikvor
