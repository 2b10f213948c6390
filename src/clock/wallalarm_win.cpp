#include "wallalarm.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QWinEventNotifier>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace tikvor {
namespace {

// FILETIME counts 100 ns from 1601; the wall clock here counts from 1970.
constexpr qint64 EpochIn100ns = 116'444'736'000'000'000;

qint64 preciseNow100ns()
{
    FILETIME now{};
    // GetSystemTimeAsFileTime only moves at the system tick (up to 15.6 ms): read at the
    // boundary it would still give the old second.
    GetSystemTimePreciseAsFileTime(&now);
    return ((qint64(now.dwHighDateTime) << 32) | now.dwLowDateTime) - EpochIn100ns;
}

class WaitableTimerAlarm final : public WallAlarm, private QAbstractNativeEventFilter {
public:
    WaitableTimerAlarm(HANDLE timer, bool highResolution)
        : m_timer(timer), m_highResolution(highResolution), m_notifier(timer)
    {
        connect(&m_notifier, &QWinEventNotifier::activated, this, [this] { reportExpired(); });
        // The system tells of a set clock only by a broadcast to top-level windows, which reach
        // the filters of the application that owns them.
        if (QCoreApplication* app = QCoreApplication::instance())
            app->installNativeEventFilter(this);
    }
    ~WaitableTimerAlarm() override
    {
        if (QCoreApplication* app = QCoreApplication::instance())
            app->removeNativeEventFilter(this);
        m_notifier.setEnabled(false);
        CancelWaitableTimer(m_timer);
        CloseHandle(m_timer);
    }

private:
    void armSystem(qint64 deadlineMs) override
    {
        LARGE_INTEGER due{};
        if (m_highResolution) {
            // A high-resolution timer takes only a relative due time (ExSetTimer); it is reckoned
            // in 100 ns from the precise wall clock, and a set clock is heard of by the message.
            due.QuadPart = -std::max<qint64>(1, deadlineMs * 10'000 - preciseNow100ns());
        } else {
            // Absolute: the timer follows a set clock by itself, at the system tick's resolution.
            due.QuadPart = deadlineMs * 10'000 + EpochIn100ns;
        }
        SetWaitableTimer(m_timer, &due, 0, nullptr, nullptr, FALSE);
    }
    void disarmSystem() override { CancelWaitableTimer(m_timer); }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        if (eventType != "windows_generic_MSG")
            return false;
        const MSG* msg = static_cast<const MSG*>(message);
        // A relative wait does not count time asleep either, so a resume is a step too.
        const bool stepped =
            msg->message == WM_TIMECHANGE ||
            (msg->message == WM_POWERBROADCAST && msg->wParam == PBT_APMRESUMEAUTOMATIC);
        if (stepped) {
            // Sent messages arrive inside the window procedure; the tick runs from the event loop.
            QMetaObject::invokeMethod(
                this, [this] { reportStep(); }, Qt::QueuedConnection);
        }
        return false;
    }

    HANDLE m_timer;
    bool m_highResolution;
    QWinEventNotifier m_notifier;
};

} // namespace

qint64 systemWallClockMs()
{
    return preciseNow100ns() / 10'000;
}

std::unique_ptr<WallAlarm> makeSystemAlarm()
{
    // Auto-reset: the notifier's wait takes the signal, so it fires once per arming.
    const DWORD access = TIMER_MODIFY_STATE | SYNCHRONIZE;
    if (HANDLE timer =
            CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, access))
        return std::make_unique<WaitableTimerAlarm>(timer, true);
    // Before Windows 10 1803.
    if (HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, 0, access))
        return std::make_unique<WaitableTimerAlarm>(timer, false);
    return std::make_unique<TimerAlarm>(&systemWallClockMs);
}

} // namespace tikvor
