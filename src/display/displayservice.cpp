#include "displayservice.h"

#include "clock/frame.h"
#include "port/comlines.h"
#include "port/portselection.h"
#include "startup/charactertable.h"
#include "startup/datafolder.h"
#include "startup/programfolder.h"
#include "version.h"

#include <QDateTime>

namespace tikvor {
namespace {

const char* const GroupNames[6] = {"seconds units", "seconds tens", "minutes units",
                                   "minutes tens",  "hours units",  "hours tens"};

} // namespace

DisplayService::DisplayService(DisplayOptions options, QObject* parent)
    : QObject(parent), m_options(std::move(options))
{
    if (!m_options.error)
        m_options.error = [](const QString&) {};
    if (!m_options.output)
        m_options.output = [](const QString&) {};
    m_timer = m_options.clock ? std::make_unique<SecondTimer>(m_options.clock)
                              : std::make_unique<SecondTimer>();
    m_time = std::make_unique<TickTimeSource>(*m_timer);
    connect(m_timer.get(), &SecondTimer::tick, this, &DisplayService::Timer1_Timer);
}

DisplayService::~DisplayService()
{
    stop();
}

void DisplayService::start()
{
    const QString dataIni = joinPath(m_options.programFolder, QStringLiteral("Data.ini"));
    if (!fileIsPresent(dataIni))
        m_options.error(DataIniMissingTitle + QStringLiteral(": ")
                        + dataIniMissingText(QString::fromUtf8(version::WebAddress)));
    m_table = LoadCharacterTable(dataIni);
    m_state.BlinkSign = 1.0f;
    m_state.PortCaption = portCaption(0);
    ClockFace& face = *this;
    m_engine = std::make_unique<ClockEngine>(m_state, m_table, *m_time, face,
                                             m_options.programFolder);
    m_engine->setFrameSink(this);

    if (!m_options.lines)
        m_ownLines = std::make_unique<ComLines>(PortMap::fromIni(dataIni));
    m_lines = m_options.lines ? m_options.lines : m_ownLines.get();
    m_sender = std::make_unique<LineSender>(*m_lines);
    if (m_options.lineClock)
        m_sender->setClock(m_options.lineClock);
    m_sender->setLinkListener([this](bool lost) {
        QMetaObject::invokeMethod(this, [this, lost] { linkChanged(lost); }, Qt::QueuedConnection);
    });
    tryPorts();
    Timer1_Timer(); // the first frame at once; it waits on the line thread for the ports
    m_timer->start();
}

void DisplayService::stop()
{
    if (!m_sender)
        return;
    m_timer->stop();
    // The frame on the line ends, a waiting one is dropped, and the thread is joined: only then
    // are the lines ours to put at rest.
    m_sender.reset();
    if (m_port != 0) {
        m_lines->DTR(0);
        m_lines->TXD(0);
    }
}

void DisplayService::tryPorts()
{
    if (m_trying || m_port != 0 || !m_sender)
        return;
    m_trying = true;
    const std::optional<int> only = m_options.port;
    m_sender->post([this, only](SerialLines& lines) {
        int opened = 0;
        for (int n = only.value_or(1); n <= only.value_or(PortCount) && !opened; ++n) {
            if (lines.OpenPort(portMode(n)) != 0)
                opened = n;
        }
        QMetaObject::invokeMethod(this, [this, opened] { portsTried(opened); },
                                  Qt::QueuedConnection);
    });
}

void DisplayService::portsTried(int opened)
{
    m_trying = false;
    if (opened == 0) {
        if (!std::exchange(m_saidNoPort, true)) {
            m_options.error(NoPortTitle + QStringLiteral(": ") + NoPortText);
            m_options.error(QStringLiteral("Tikvor: trying the ports again every second"));
        }
        return;
    }
    m_port = opened;
    m_state.PortCaption = portCaption(opened);
    m_options.error(QStringLiteral("Tikvor: %1: frames go out on it").arg(portLabel(opened)));
}

void DisplayService::linkChanged(bool lost)
{
    if (m_port == 0)
        return;
    m_options.error(lost ? QStringLiteral("Tikvor: %1 lost (odpojeno); trying it again every "
                                          "second").arg(portLabel(m_port))
                         : QStringLiteral("Tikvor: %1: frames flow again").arg(portLabel(m_port)));
}

void DisplayService::send(const QString& frame)
{
    if (m_sender)
        m_sender->sendFrame(frame);
}

void DisplayService::Timer1_Timer()
{
    tryPorts();
    if (!m_options.wiringTest) {
        m_engine->UpdateClock();
        return;
    }
    if (m_port == 0)
        return; // the test starts on a port, so that no step goes unseen
    if (++m_wiringStep > 49) {
        m_timer->stop();
        emit finished();
        return;
    }
    m_options.output(wiringText(m_wiringStep));
    send(wiringFrame(m_wiringStep));
}

QString DisplayService::wiringFrame(int step)
{
    if (step > 48)
        return QString(48, u'1');
    // Shifted out last character first: step k lights the character 48 - k.
    QString frame(48, u'0');
    frame[48 - step] = u'1';
    return frame;
}

QString DisplayService::wiringText(int step)
{
    if (step > 48)
        return QStringLiteral("all: every segment and dot lit");
    const int index = 48 - step;
    const int group = index / 8;
    const int position = index % 8;
    const QString what = position == 7 ? QStringLiteral("dot")
                                       : QStringLiteral("segment %1").arg(QChar(u'a' + position));
    return QStringLiteral("bit %1 of 48: %2, %3").arg(step).arg(QLatin1String(GroupNames[group]),
                                                                 what);
}

} // namespace tikvor
