#include "displayconsole.h"

#include "link/texts.h"
#include "wiringtest.h"

namespace tikvor {
namespace {

LinkOptions forMode(LinkOptions options, DisplayConsole::Mode mode)
{
    if (mode == DisplayConsole::Mode::WiringTest)
        options.sendsTime = false;
    return options;
}

} // namespace

void sayLinkReports(DisplayLink& link, const LineOut& error)
{
    QObject::connect(&link, &DisplayLink::portRefused, &link,
                     [error](int, const PortRefusal& refusal) {
                         error(QStringLiteral("Tikvor: ") + describeRefusal(refusal));
                     });
    QObject::connect(&link, &DisplayLink::noPort, &link,
                     [error] { error(boxLine(NoPortTitle, NoPortText)); });
    QObject::connect(&link, &DisplayLink::portInUse, &link, [error](int n) {
        if (n != 0)
            error(QStringLiteral("Tikvor: %1: frames go out on it").arg(portLabel(n)));
    });
}

void startLink(DisplayLink& link, const LineOut& error)
{
    if (!link.dataIniPresent())
        error(boxLine(DataIniMissingTitle, dataIniMissingText()));
    link.start();
}

DisplayConsole::DisplayConsole(LinkOptions options, Mode mode, LineOut error, LineOut output,
                               QObject* parent)
    : QObject(parent), m_link(forMode(std::move(options), mode)), m_error(std::move(error))
{
    sayLinkReports(m_link, m_error);
    connect(&m_link, &DisplayLink::noPort, this,
            [this] { m_error(QStringLiteral("Tikvor: trying the ports again every second")); });
    connect(&m_link, &DisplayLink::linkLost, this, [this](int n, bool lost) {
        m_error(lost ? QStringLiteral("Tikvor: %1 lost (odpojeno); trying it again every second")
                           .arg(portLabel(n))
                     : QStringLiteral("Tikvor: %1: frames flow again").arg(portLabel(n)));
    });
    if (mode == Mode::WiringTest)
        m_test = std::make_unique<WiringTest>(m_link, std::move(output));
}

DisplayConsole::~DisplayConsole() = default;

void DisplayConsole::start()
{
    startLink(m_link, m_error);
}

} // namespace tikvor
