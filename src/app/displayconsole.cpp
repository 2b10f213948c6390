#include "displayconsole.h"

#include "startup/datafolder.h"
#include "version.h"

namespace tikvor {

void startLink(DisplayLink& link, const LineOut& error)
{
    if (!link.dataIniPresent())
        error(DataIniMissingTitle + QStringLiteral(": ") +
              dataIniMissingText(QString::fromUtf8(version::WebAddress)));
    link.start();
}

QString noPortLine()
{
    return NoPortTitle + QStringLiteral(": ") + NoPortText;
}

DisplayConsole::DisplayConsole(LinkOptions options, LineOut error, LineOut output, QObject* parent)
    : QObject(parent), m_link(std::move(options)), m_error(std::move(error)),
      m_output(std::move(output))
{
    connect(&m_link, &DisplayLink::noPort, this, [this] {
        m_error(noPortLine());
        m_error(QStringLiteral("Tikvor: trying the ports again every second"));
    });
    connect(&m_link, &DisplayLink::portFound, this, [this](int n) {
        m_error(QStringLiteral("Tikvor: %1: frames go out on it").arg(portLabel(n)));
    });
    connect(&m_link, &DisplayLink::linkLost, this, [this](int n, bool lost) {
        m_error(lost ? QStringLiteral("Tikvor: %1 lost (odpojeno); trying it again every second")
                           .arg(portLabel(n))
                     : QStringLiteral("Tikvor: %1: frames flow again").arg(portLabel(n)));
    });
    connect(&m_link, &DisplayLink::wiringStep, this,
            [this](const QString& text) { m_output(text); });
    connect(&m_link, &DisplayLink::wiringDone, this, [this] { m_link.stop(); });
}

void DisplayConsole::start()
{
    startLink(m_link, m_error);
}

} // namespace tikvor
