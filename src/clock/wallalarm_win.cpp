#include "wallalarm.h"

#include <QWinEventNotifier>
#include <QtGlobal>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <functional>

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

// A hidden top-level window of our own. The system tells of a set clock (WM_TIMECHANGE) and of
// a resume only by a broadcast to top-level windows; tikvor-display has no other window, and a
// message-only window hears no broadcast. The thread's Qt event loop dispatches its messages.
class StepWindow {
public:
    explicit StepWindow(std::function<void()> stepped) : m_stepped(std::move(stepped))
    {
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &StepWindow::procedure;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = ClassName;
        // A second alarm finds the class registered already.
        RegisterClassExW(&windowClass);
        m_window = CreateWindowExW(WS_EX_TOOLWINDOW, ClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                   nullptr, instance, nullptr);
        if (m_window)
            SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~StepWindow()
    {
        if (m_window)
            DestroyWindow(m_window);
    }
    StepWindow(const StepWindow&) = delete;
    StepWindow& operator=(const StepWindow&) = delete;

    bool isValid() const { return m_window != nullptr; }

private:
    static constexpr const wchar_t* ClassName = L"TikvorClockStepWindow";

    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        // taskkill without /F sends WM_CLOSE to every top-level window of the process; by default
        // the window would be destroyed and set clocks go unheard. Whether the program ends is
        // decided elsewhere (the programs' own windows hear it too).
        if (message == WM_CLOSE)
            return 0;
        // A relative wait does not count time asleep either, so a resume is a step too.
        const bool stepped = message == WM_TIMECHANGE ||
                             (message == WM_POWERBROADCAST && wParam == PBT_APMRESUMEAUTOMATIC);
        if (stepped) {
            if (auto* self =
                    reinterpret_cast<StepWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA)))
                self->m_stepped();
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    std::function<void()> m_stepped;
    HWND m_window = nullptr;
};

class WaitableTimerAlarm final : public WallAlarm {
public:
    WaitableTimerAlarm(HANDLE timer, bool highResolution)
        : m_timer(timer), m_highResolution(highResolution), m_notifier(timer),
          m_fallback(&systemWallClockMs), m_stepWindow([this] {
              // Sent messages arrive inside the window procedure; the tick runs from the event
              // loop.
              QMetaObject::invokeMethod(
                  this, [this] { reportStep(); }, Qt::QueuedConnection);
          })
    {
        connect(&m_notifier, &QWinEventNotifier::activated, this, [this] { reportExpired(); });
        connect(&m_fallback, &WallAlarm::expired, this, [this] { reportExpired(); });
        if (!m_stepWindow.isValid())
            qWarning("tikvor: no window for clock changes (error %lu); a set clock is seen at "
                     "the next tick",
                     GetLastError());
    }
    ~WaitableTimerAlarm() override
    {
        m_notifier.setEnabled(false);
        CancelWaitableTimer(m_timer);
        CloseHandle(m_timer);
    }

private:
    void armSystem(qint64 deadlineMs) override
    {
        if (m_useFallback) {
            m_fallback.arm(deadlineMs);
            return;
        }
        LARGE_INTEGER due{};
        if (m_highResolution) {
            // A high-resolution timer takes only a relative due time (ExSetTimer); it is reckoned
            // in 100 ns from the precise wall clock, and a set clock is heard of by the message.
            due.QuadPart = -std::max<qint64>(1, deadlineMs * 10'000 - preciseNow100ns());
        } else {
            // Absolute: the timer follows a set clock by itself, at the system tick's resolution.
            due.QuadPart = deadlineMs * 10'000 + EpochIn100ns;
        }
        if (SetWaitableTimer(m_timer, &due, 0, nullptr, nullptr, FALSE))
            return;
        // A timer that cannot be set would never fire, and the display would stop without a
        // word. From now on the plain timer keeps the ticks coming.
        qWarning("tikvor: the waitable timer cannot be set (error %lu); using a plain timer",
                 GetLastError());
        m_useFallback = true;
        m_fallback.arm(deadlineMs);
    }
    void disarmSystem() override
    {
        if (m_useFallback)
            m_fallback.disarm();
        else
            CancelWaitableTimer(m_timer);
    }

    HANDLE m_timer;
    bool m_highResolution;
    QWinEventNotifier m_notifier;
    TimerAlarm m_fallback;
    bool m_useFallback = false;
    StepWindow m_stepWindow;
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
