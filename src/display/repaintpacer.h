#pragma once
// What an emulated display's viewers share: changes heard on the line thread, drawn on the
// viewer's own thread at most 60 times a second.
//
// Contract:
// - noteChange() may be called from any thread and never waits; it posts at most one note to
//   the pacer's thread until that note has been taken.
// - `due` runs on the pacer's thread a frame interval after the first change it has not yet
//   shown (changes in between share that run); drawSoon() starts that wait without a change.
// - Destroying the pacer drops a note still posted.

#include <QObject>
#include <QTimer>

#include <atomic>
#include <functional>

namespace tikvor {

class RepaintPacer final : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxPerSecond = 60;

    explicit RepaintPacer(std::function<void()> due, QObject* parent = nullptr);

    void noteChange();
    void drawSoon();

private:
    std::function<void()> m_due;
    QTimer m_timer;
    std::atomic<bool> m_posted{false};
};

} // namespace tikvor
