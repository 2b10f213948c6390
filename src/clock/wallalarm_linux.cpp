#include "wallalarm.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <sys/timerfd.h>
#include <unistd.h>

namespace tikvor {
namespace {

// Absolute, and cancelled by any set of the clock. The same flags on every call, disarming
// included: a set made while the timer rests is then still reported, by the next read or by the
// next arming, so no step between reading the clock and arming the alarm goes unseen.
constexpr int Flags = TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET;

timespec fromMs(qint64 ms)
{
    qint64 seconds = ms / 1000;
    qint64 rest = ms % 1000;
    if (rest < 0) {
        rest += 1000;
        --seconds;
    }
    timespec t{static_cast<time_t>(seconds), static_cast<long>(rest * 1'000'000)};
    if (t.tv_sec == 0 && t.tv_nsec == 0)
        t.tv_nsec = 1; // zero would disarm
    return t;
}

class TimerFdAlarm final : public WallAlarm {
public:
    explicit TimerFdAlarm(int fd) : m_fd(fd), m_notifier(fd, QSocketNotifier::Read)
    {
        connect(&m_notifier, &QSocketNotifier::activated, this, [this] { readable(); });
    }
    ~TimerFdAlarm() override
    {
        m_notifier.setEnabled(false);
        ::close(m_fd);
    }

private:
    void set(qint64 deadlineMs, bool armed)
    {
        itimerspec due{};
        if (armed)
            due.it_value = fromMs(deadlineMs);
        if (::timerfd_settime(m_fd, Flags, &due, nullptr) == 0 || errno != ECANCELED)
            return;
        // The clock was set since the last look, and the deadline may have been reckoned on the
        // old time; the timer is set all the same. Reported from the event loop, so that the
        // caller's arm() returns first.
        QMetaObject::invokeMethod(
            this, [this] { reportStep(); }, Qt::QueuedConnection);
    }
    void armSystem(qint64 deadlineMs) override { set(deadlineMs, true); }
    void disarmSystem() override { set(0, false); }

    void readable()
    {
        std::uint64_t expirations = 0;
        if (::read(m_fd, &expirations, sizeof expirations) == sizeof expirations)
            reportExpired();
        else if (errno == ECANCELED)
            reportStep();
        // EAGAIN: set again after it became readable; the count went with the old setting.
    }

    int m_fd;
    QSocketNotifier m_notifier;
};

} // namespace

qint64 systemWallClockMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

std::unique_ptr<WallAlarm> makeSystemAlarm()
{
    const int fd = ::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    // Registering for steps at once also tells whether the kernel knows cancel-on-set; an
    // absolute timer that misses a step back would wait out the whole step.
    const itimerspec rest{};
    if (fd >= 0 && (::timerfd_settime(fd, Flags, &rest, nullptr) == 0 || errno == ECANCELED))
        return std::make_unique<TimerFdAlarm>(fd);
    if (fd >= 0)
        ::close(fd);
    return std::make_unique<TimerAlarm>(&systemWallClockMs);
}

} // namespace tikvor
