#include "displaylink.h"

#include "clock/frame.h"
#include "clock/sendframe.h"
#include "port/comlines.h"
#include "startup/charactertable.h"
#include "startup/programfolder.h"

#include <atomic>
#include <chrono>
#include <cstdlib>

namespace tikvor {
namespace {

const char* const GroupNames[6] = {"seconds units", "seconds tens", "minutes units",
                                   "minutes tens",  "hours units",  "hours tens"};

std::atomic<DisplayLink*> linkAtExit = nullptr;

} // namespace

DisplayLink::DisplayLink(LinkOptions options, QObject* parent)
    : QObject(parent), m_options(std::move(options)),
      m_timer(m_options.wallClock ? std::make_unique<SecondTimer>(m_options.wallClock)
                                  : std::make_unique<SecondTimer>()),
      m_ownTime(m_options.time ? nullptr : std::make_unique<TickTimeSource>(*m_timer)),
      m_dataIniPath(joinPath(m_options.programFolder, QStringLiteral("Data.ini"))),
      m_engine(std::make_unique<ClockEngine>(
          m_state, m_table, m_options.time ? *m_options.time : *m_ownTime, m_options.programFolder))
{
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_state.BlinkSign = 1.0f;
    m_state.PortCaption = portCaption(0); // until a port is found
    m_engine->setFrameSink(this);
    connect(m_timer.get(), &SecondTimer::tick, this, &DisplayLink::tick);
    connect(m_timer.get(), &SecondTimer::stepped, this, &DisplayLink::clockStepped);
}

DisplayLink::~DisplayLink()
{
    DisplayLink* self = this;
    linkAtExit.compare_exchange_strong(self, nullptr);
    m_timer->stop();
    m_sender.reset(); // finishes as stop() does, and waits for it
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
    std::unique_ptr<SerialLines> own;
    if (!m_options.lines)
        own = std::make_unique<ComLines>(PortMap::fromIni(m_dataIniPath));
    m_comLines = dynamic_cast<const ComLines*>(own ? own.get() : m_options.lines);
    for (int n = 1; n <= PortCount && m_comLines; ++n)
        m_virtual[size_t(n - 1)] = m_comLines->virtualDisplay(n);
    auto listener = [this](bool lost) {
        QMetaObject::invokeMethod(
            this,
            [this, lost] {
                m_engine->setLinkLost(lost);
                m_engine->refreshCaption();
                if (m_port != 0)
                    emit linkLost(m_port, lost);
            },
            Qt::QueuedConnection);
    };
    m_sender = own ? std::make_unique<LineSender>(std::move(own), listener, m_options.lineClock)
                   : std::make_unique<LineSender>(*m_options.lines, listener, m_options.lineClock);
    if (m_options.policy == PortPolicy::Buttons)
        choose(std::nullopt);
    else
        tryPorts();
    tick(); // the first frame at once; it waits on the line thread for the port choice
    m_timer->start();
}

void DisplayLink::tick()
{
    if (isStopping())
        return;
    if (m_options.policy == PortPolicy::Retry)
        tryPorts();
    if (m_options.wiringTest)
        wiringTick();
    else if (!m_options.frontEndFrames)
        m_engine->UpdateClock();
}

void DisplayLink::sendFrame(ClockState& state)
{
    if (!m_sender)
        return;
    if (m_options.time) {
        m_sender->sendFrame(state.FrameBits);
        return;
    }
    // Without a port yet, the frame of the tick follows the try made at this tick.
    const qint64 second = wallSecond(m_timer->lastWallTime());
    if (m_aheadSecond != second || m_port == 0)
        m_sender->sendFrame(state.FrameBits, second);
    sendAhead(state, second);
}

void DisplayLink::sendAhead(const ClockState& state, qint64 second)
{
    const QString next = nextSecondFrame(m_table, state);
    if (next.isEmpty())
        return;
    // From the wall clock to the line thread's: the one is set by people, the other never is.
    const qint64 endUs = m_sender->nowUs() + ((second + 1) * 1'000'000 - wallNowUs());
    m_sender->sendFrameAt(next, endUs, second + 1);
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
        sendAhead(m_state, *ahead - 1);
}

qint64 DisplayLink::wallNowUs() const
{
    if (m_options.wallClock)
        return m_options.wallClock() * 1000;
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

// --- the buttons ---------------------------------------------------------------------------

void DisplayLink::clickOption(int n)
{
    // With no port left the handlers do nothing, also on a button still enabled.
    if (!m_sender || isStopping() || m_state.PortClosed != False16)
        return;
    if (m_choosing) {
        m_clicks.push_back(n);
        return;
    }
    choose(n);
}

void DisplayLink::choose(std::optional<int> click)
{
    m_choosing = true;
    PortView before = m_buttons;
    before.naming = {m_state.PortCaption, m_state.PortClosed};
    m_sender->post([this, before, click](SerialLines& lines) {
        PortView after = click ? ClickOption(before, *click, lines) : ScanAtStartUp(lines);
        // ComLines keeps each port's last refusal, safe to read from any thread.
        for (int n = 1; n <= PortCount && m_comLines; ++n)
            if (!after.enabled[size_t(n - 1)])
                if (std::optional<PortRefusal> why = m_comLines->refusal(n))
                    after.refusals[size_t(n - 1)] = std::move(why);
        QMetaObject::invokeMethod(
            this, [this, after] { chosen(after); }, Qt::QueuedConnection);
    });
}

void DisplayLink::chosen(const PortView& view)
{
    m_choosing = false;
    m_buttons = view;
    m_buttons.showNoPortError = false;
    // The front end's box comes first; the caption follows it.
    emit portChosen(view);
    m_state.PortCaption = view.naming.PortCaption;
    m_state.PortClosed = view.naming.PortClosed;
    m_engine->refreshCaption();
    setPortInUse(view.naming.PortClosed != False16 ? 0 : view.selected);
    if (!m_clicks.empty() && !isStopping()) {
        const int next = m_clicks.front();
        m_clicks.pop_front();
        clickOption(next);
    }
}

// --- the scan that never gives up ----------------------------------------------------------

void DisplayLink::tryPorts()
{
    if (m_choosing || m_port != 0 || !m_sender)
        return;
    m_choosing = true;
    const std::optional<int> only = m_options.onlyPort;
    m_sender->post([this, only](SerialLines& lines) {
        int opened = 0;
        for (int n = only.value_or(1); n <= only.value_or(PortCount) && !opened; ++n) {
            if (lines.OpenPort(portMode(n)) != 0)
                opened = n;
        }
        QMetaObject::invokeMethod(
            this, [this, opened] { portsTried(opened); }, Qt::QueuedConnection);
    });
}

void DisplayLink::portsTried(int opened)
{
    m_choosing = false;
    if (opened == 0) {
        if (!std::exchange(m_saidNoPort, true))
            emit noPort();
        return;
    }
    m_state.PortCaption = portCaption(opened);
    setPortInUse(opened);
    emit portFound(opened);
}

void DisplayLink::setPortInUse(int n)
{
    if (std::exchange(m_port, n) != n && !isStopping())
        emit portInUse(n);
}

VirtualDisplay* DisplayLink::virtualDisplay() const
{
    return m_port >= 1 && m_port <= PortCount && !isStopping() ? m_virtual[size_t(m_port - 1)]
                                                               : nullptr;
}

// --- frames of the front end ----------------------------------------------------------------

void DisplayLink::showFrame(const QString& frame)
{
    if (!m_sender || isStopping())
        return;
    // A task rather than a frame: it cannot be replaced by a newer one, and what follows it
    // knows the frame has left.
    m_sender->post([this, frame](SerialLines& lines) {
        const bool whole = SendFrame(frame, lines) == frame.size();
        QMetaObject::invokeMethod(
            this,
            [this, whole] {
                if (!isStopping())
                    emit frameShown(whole);
            },
            Qt::QueuedConnection);
    });
}

// --- the wiring test -----------------------------------------------------------------------

void DisplayLink::wiringTick()
{
    if (m_port == 0)
        return; // the test starts on a port, so that no step goes unseen
    if (++m_wiringStep > FrameLength + 1) {
        m_timer->stop();
        emit wiringDone();
        return;
    }
    emit wiringStep(wiringText(m_wiringStep));
    m_sender->sendFrame(wiringFrame(m_wiringStep));
}

QString DisplayLink::wiringFrame(int step)
{
    if (step > FrameLength)
        return QString(FrameLength, u'1');
    // Shifted out last character first: step k lights the character FrameLength - k.
    QString frame(FrameLength, u'0');
    frame[FrameLength - step] = u'1';
    return frame;
}

QString DisplayLink::wiringText(int step)
{
    if (step > FrameLength)
        return QStringLiteral("all: every segment and dot lit");
    const int index = FrameLength - step;
    const int group = index / PatternLength;
    const int position = index % PatternLength;
    const QString what = position == PatternLength - 1
                             ? QStringLiteral("dot")
                             : QStringLiteral("segment %1").arg(QChar(u'a' + position));
    return QStringLiteral("bit %1 of %2: %3, %4")
        .arg(step)
        .arg(FrameLength)
        .arg(QLatin1String(GroupNames[group]), what);
}

// --- the way out ---------------------------------------------------------------------------

void DisplayLink::stop(int status)
{
    if (isStopping())
        return;
    m_stopStatus = status;
    m_timer->stop();
    m_clicks.clear();
    emit stopping();
    const auto report = [this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_stopped = true;
                emit stopped(*m_stopStatus);
            },
            Qt::QueuedConnection);
    };
    if (m_sender)
        m_sender->finish(report); // on the line thread, once the port is released
    else
        report();
}

bool DisplayLink::waitStopped(int timeoutMs)
{
    return !m_sender || m_sender->waitFinished(timeoutMs);
}

void finishLinesAtExit(DisplayLink* link)
{
    static const bool registered = [] {
        std::atexit([] {
            // Inside exit(): only the line side, which needs nothing of the window system.
            if (DisplayLink* l = linkAtExit.exchange(nullptr)) {
                if (LineSender* sender = l->lineSender()) {
                    sender->finish();
                    sender->waitFinished(int(LineSender::FinishLimitMs) + 500);
                }
            }
        });
        return true;
    }();
    (void)registered;
    linkAtExit = link;
}

} // namespace tikvor
