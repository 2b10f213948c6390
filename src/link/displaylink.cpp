#include "displaylink.h"

#include "clock/frame.h"
#include "clock/sendframe.h"
#include "port/mappedports.h"
#include "startup/charactertable.h"
#include "startup/files.h"

#include <QTimer>

#include <chrono>
#include <mutex>

namespace tikvor {

namespace {

// The dots of the frame the state shows, as a timed frame carries them.
int blinkOf(const ClockState& state)
{
    return state.BlinkSign < 0 ? -1 : 1;
}

} // namespace

// What the line thread hands back goes through here: a worker left to end alone (a hung device
// call at the end) may still finish a task after the link is gone, and must then post nothing.
struct DisplayLink::Mailbox {
    std::mutex mutex;
    DisplayLink* link = nullptr;

    // Runs `call` on the link's thread unless the link is gone or stopping by then.
    void post(std::function<void()> call)
    {
        const std::lock_guard lock(mutex);
        if (DisplayLink* l = link)
            QMetaObject::invokeMethod(
                l,
                [l, call = std::move(call)] {
                    if (!l->isStopping())
                        call();
                },
                Qt::QueuedConnection);
    }
};

DisplayLink::DisplayLink(LinkOptions options, QObject* parent)
    : QObject(parent), m_options(std::move(options)),
      m_timer(m_options.seams.wallClock ? std::make_unique<SecondTimer>(m_options.seams.wallClock)
                                        : std::make_unique<SecondTimer>()),
      m_ownTime(m_options.seams.time ? nullptr : std::make_unique<TickTimeSource>(*m_timer)),
      m_dataIniPath(joinPath(m_options.programFolder, QStringLiteral("Data.ini"))),
      m_engine(std::make_unique<ClockEngine>(
          m_state, m_table, m_options.seams.time ? *m_options.seams.time : *m_ownTime)),
      m_mailbox(std::make_shared<Mailbox>())
{
    m_mailbox->link = this;
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_state.BlinkSign = 1.0f;
    m_state.PortCaption = portCaption(0); // until a port is found
    if (m_options.sendsTime)
        m_engine->setFrameSink(this);
    ChooserHost& host = *this;
    if (m_options.ports == PortPolicy::Buttons)
        m_chooser = std::make_unique<ButtonRing>(
            host, [this](const PortView& view) { emit portChosen(view); });
    else
        m_chooser =
            std::make_unique<RetryChooser>(host, m_options.onlyPort, [this] { emit noPort(); });
    connect(m_timer.get(), &SecondTimer::tick, this, &DisplayLink::tick);
    connect(m_timer.get(), &SecondTimer::stepped, this, &DisplayLink::clockStepped);
}

DisplayLink::~DisplayLink()
{
    {
        const std::lock_guard lock(m_mailbox->mutex);
        m_mailbox->link = nullptr;
    }
    m_timer->stop();
    m_sender.reset(); // finishes as stop() does, and waits for it, bounded
}

bool DisplayLink::dataIniPresent() const
{
    return fileIsPresent(m_dataIniPath);
}

void DisplayLink::start()
{
    if (m_sender || isStopping())
        return;
    m_table = LoadCharacterTable(m_dataIniPath);
    std::unique_ptr<MappedPorts> own;
    if (!m_options.seams.lines) {
        own = std::make_unique<MappedPorts>(PortMap::fromIni(m_dataIniPath));
        for (int n = 1; n <= PortCount; ++n)
            m_virtual[size_t(n - 1)] = own->virtualDisplay(n);
    }
    SerialLines& lines = own ? *own : *m_options.seams.lines;
    lines.setRefusalListener([this, box = m_mailbox](int n, const PortRefusal& refusal) {
        box->post([this, n, refusal] { emit portRefused(n, refusal); });
    });
    auto listener = [this, box = m_mailbox](bool lost) {
        box->post([this, lost] {
            m_engine->setLinkLost(lost);
            m_engine->refreshCaption();
            if (m_port != 0)
                emit linkLost(m_port, lost);
        });
    };
    m_sender =
        own ? std::make_unique<LineSender>(std::move(own), listener, m_options.seams.lineClock)
            : std::make_unique<LineSender>(lines, listener, m_options.seams.lineClock);
    // The line thread makes the frame of a second itself when the one handed over is too late
    // for its own: a stall, a port switch, a line too slow for a frame a second.
    if (!m_options.seams.time)
        m_sender->setFrameMaker([table = m_table](qint64 second, int blink) {
            return wallSecondFrame(table, second, float(blink));
        });
    m_chooser->begin();
}

void DisplayLink::ready()
{
    if (m_timer->isActive() || isStopping())
        return;
    tick();
    m_timer->start();
}

void DisplayLink::tick()
{
    if (isStopping())
        return;
    m_chooser->second();
    m_engine->UpdateClock();
}

void DisplayLink::onLine(LineTask task)
{
    if (!m_sender || isStopping())
        return;
    m_sender->post(
        [box = m_mailbox, task = std::move(task)](SerialLines& lines) { box->post(task(lines)); });
}

void DisplayLink::usePort(int n, bool closed)
{
    m_state.PortCaption = portCaption(n);
    m_state.PortClosed = closed ? True16 : False16;
    if (closed) // the choice has ended whatever was lost
        m_engine->setLinkLost(false);
    m_engine->refreshCaption();
    if (std::exchange(m_port, n) != n)
        emit portInUse(n);
}

VirtualDisplay* DisplayLink::virtualDisplay() const
{
    return m_port >= 1 && m_port <= PortCount && !isStopping() ? m_virtual[size_t(m_port - 1)]
                                                               : nullptr;
}

void DisplayLink::clickOption(int n)
{
    if (m_sender && !isStopping())
        m_chooser->click(n);
}

// --- frames ---------------------------------------------------------------------------------

void DisplayLink::sendFrame(ClockState& state)
{
    if (!m_sender)
        return;
    if (m_options.seams.time) {
        m_sender->sendFrame(state.FrameBits);
        return;
    }
    const qint64 second = wallSecond(m_timer->lastWallTime());
    const int blink = blinkOf(state);
    // Its own frame unless that went ahead. Without a port yet, it follows the try made at this
    // tick.
    if (m_aheadSecond != second || m_port == 0)
        m_sender->sendTimed(state.FrameBits, {second, lineUsOf(second), blink});
    sendAhead(second, blink);
}

void DisplayLink::sendAhead(qint64 second, int blink)
{
    // The next second by the wall clock, not "these digits + 1": a change of summer time or of
    // zone at that instant shows from its first second.
    const QString next = wallSecondFrame(m_table, second + 1, float(-blink));
    if (next.isEmpty())
        return;
    m_sender->sendTimed(next, {second + 1, lineUsOf(second + 1), -blink});
    m_aheadSecond = second + 1;
}

void DisplayLink::clockStepped()
{
    const std::optional<qint64> ahead = std::exchange(m_aheadSecond, std::nullopt);
    if (!m_sender || !ahead)
        return;
    m_sender->dropScheduled();
    // Still the second on show: no tick follows now, so the next frame is aimed anew here.
    // Otherwise the tick that follows sends its frame at once, and the next one ahead.
    if (!isStopping() && m_state.PortClosed == False16 &&
        wallSecond(m_timer->wallTime()) == *ahead - 1)
        sendAhead(*ahead - 1, blinkOf(m_state));
}

qint64 DisplayLink::lineUsOf(qint64 second) const
{
    // From the wall clock to the line thread's: the one is set by people, the other never is.
    return m_sender->nowUs() + (second * 1'000'000 - wallNowUs());
}

qint64 DisplayLink::wallNowUs() const
{
    if (m_options.seams.wallClock)
        return m_options.seams.wallClock() * 1000;
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

void DisplayLink::sendFrameWhole(const QString& frame)
{
    // A task rather than a frame: it cannot be replaced by a newer one, and what follows it
    // knows the frame has left.
    onLine([this, frame](SerialLines& lines) -> std::function<void()> {
        const bool whole = SendFrame(frame, lines) == frame.size();
        return [this, whole] { emit frameSent(whole); };
    });
}

// --- the way out ---------------------------------------------------------------------------

void DisplayLink::stop(int status)
{
    if (isStopping())
        return;
    m_stopStatus = status;
    m_timer->stop();
    emit stopping();
    if (!m_sender) {
        QMetaObject::invokeMethod(this, &DisplayLink::reportStopped, Qt::QueuedConnection);
        return;
    }
    // On the line thread, once the port is released; or, when the line is held up inside a
    // device call, after the limit all the same.
    m_sender->finish([this] {
        QMetaObject::invokeMethod(this, &DisplayLink::reportStopped, Qt::QueuedConnection);
    });
    QTimer::singleShot(StopLimitMs, this, &DisplayLink::reportStopped);
}

void DisplayLink::reportStopped()
{
    if (std::exchange(m_stopped, true))
        return;
    emit stopped(*m_stopStatus);
}

bool DisplayLink::waitStopped(int timeoutMs)
{
    return !m_sender || m_sender->waitFinished(timeoutMs);
}

} // namespace tikvor
