// Start-up, the click handlers and the port panel of the main window.

#include "form1.h"

#include "clock/frame.h"
#include "desktop.h"
#include "port/comlines.h"
#include "startup/charactertable.h"
#include "startup/datafolder.h"
#include "startup/inireader.h"
#include "startup/programfolder.h"
#include "version.h"

#include <QRadioButton>

namespace tikvor {
namespace {

QString webAddress()
{
    return QString::fromUtf8(version::WebAddress);
}

const QString ApplicationTitle = QStringLiteral("Tikvor");

} // namespace

// --- start-up -------------------------------------------------------------------------------

bool Form1::Form_Load()
{
    show();
    m_state.BlinkSign = 1.0f;
    const QString dataIni = joinPath(m_options.programFolder, QStringLiteral("Data.ini"));
    if (!fileIsPresent(dataIni))
        showDataIniMissing();
    m_dataIniPath = dataIni;
    if (!CheckDataFolder())
        return false;
    InitCharactersAndPort();
    m_engine.UpdateClock();
    // Only now: a tick during one of the boxes above would run before the table and the port.
    m_timer1.start();
    return true;
}

void Form1::showDataIniMissing()
{
    m_desktop->message(this, dataIniMissingText(webAddress()), DataIniMissingTitle,
                       BoxIcon::Critical);
}

bool Form1::CheckDataFolder()
{
    if (!firstMissingPicture(m_options.programFolder))
        return true;
    m_desktop->message(this, pictureMissingText(webAddress()), PictureMissingTitle,
                       BoxIcon::Critical);
    m_desktop->exit(PictureMissingExitStatus);
    return false;
}

void Form1::InitCharactersAndPort()
{
    m_table = LoadCharacterTable(m_dataIniPath);
    m_label2->setText(m_table[9]);

    // The line is driven from a thread of its own, so a slow adapter never holds the window: the
    // ports are tried there too, and the window shows the outcome when it comes.
    m_sender = m_options.lines ? std::make_unique<LineSender>(*m_options.lines)
                               : std::make_unique<LineSender>(std::make_unique<ComLines>(
                                     PortMap::fromIni(m_dataIniPath)));
    if (m_options.lineClock)
        m_sender->setClock(m_options.lineClock);
    m_sender->setLinkListener([this](bool lost) {
        QMetaObject::invokeMethod(
            this,
            [this, lost] {
                m_engine.setLinkLost(lost);
                m_engine.refreshCaption();
            },
            Qt::QueuedConnection);
    });
    m_chooser = std::make_unique<PortChooser>();
    m_state.PortCaption = portCaption(0); // until the scan has found a port
    m_sender->post([this](SerialLines& lines) {
        const PortView view = m_chooser->ScanAtStartUp(lines);
        QMetaObject::invokeMethod(this, [this, view] { showChoice(view); }, Qt::QueuedConnection);
    });
}

void Form1::choosePort(int n)
{
    if (!m_sender)
        return;
    m_sender->post([this, n](SerialLines& lines) {
        const PortView view = m_chooser->Click(n, lines);
        QMetaObject::invokeMethod(this, [this, view] { showChoice(view); }, Qt::QueuedConnection);
    });
}

void Form1::showChoice(const PortView& view)
{
    m_selectingFromCode = true;
    for (int n = 1; n <= PortCount; ++n) {
        QRadioButton* button = option(n);
        if (!view.enabled[static_cast<size_t>(n - 1)])
            button->setEnabled(false);
        if (n == view.selected) {
            button->setChecked(true);
        } else if (button->isChecked()) {
            button->setAutoExclusive(false);
            button->setChecked(false);
            button->setAutoExclusive(true);
        }
    }
    m_selectingFromCode = false;
    m_label3->setText(view.label);
    m_state.PortCaption = view.portCaption;
    m_state.PortClosed = view.portClosed;
    m_engine.refreshCaption();
    if (view.showNoPortError)
        m_desktop->message(this, NoPortText, NoPortTitle, BoxIcon::Critical);
}

// --- clicks ---------------------------------------------------------------------------------

void Form1::Image8_Click()
{
    // Decided by the client height: the outer height differs with every title bar.
    const bool folded = height() == FoldedSize.height();
    if (!folded && height() != UnfoldedSize.height())
        return;
    setFixedSize(folded ? UnfoldedSize : FoldedSize);
    m_images[7]->loadPicture(joinPath(m_options.programFolder,
                                      folded ? QStringLiteral("data/optionsOFF.gif")
                                             : QStringLiteral("data/optionsON.gif")));
}

void Form1::Label7_Click()
{
    m_desktop->openUrl(webAddress());
}

void Form1::Label11_Click()
{
    m_desktop->openUrl(webAddress());
}

void Form1::Label9_Click()
{
    m_desktop->message(this,
                       QStringLiteral("Tyto tikvor se řídí časem systému Windows. Pokud chcete "
                                      "změnit čas, musíte zmněnit systémový čas. Zadejte příkaz "
                                      "\"TIME\" a potvrďte ENTERem"),
                       ApplicationTitle, BoxIcon::Information);
    if (!m_desktop->startTerminal()) {
        m_desktop->message(this,
                           QStringLiteral("Příkazový řádek se nepodařilo spustit. Čas nastavíte "
                                          "v nastavení systému."),
                           ApplicationTitle, BoxIcon::Information);
    }
}

void Form1::Label10_Click()
{
    if (!fileIsPresent(m_dataIniPath)) {
        showDataIniMissing();
        return;
    }
    // A buffer of ten delivers at most nine characters of the version.
    m_state.VersionBuffer = readProfileString(QStringLiteral("Init"), QStringLiteral("KRVVerze"),
                                              QStringLiteral("CHYBA"), 10, m_dataIniPath);
    m_desktop->message(this, m_state.VersionBuffer, QStringLiteral("Verze Dat. souboru"),
                       BoxIcon::Information);
}

void Form1::Option1_Click()
{
    choosePort(1);
}

void Form1::Option2_Click()
{
    choosePort(2);
}

void Form1::Option3_Click()
{
    choosePort(3);
}

void Form1::Option4_Click()
{
    choosePort(4);
}

void Form1::Option5_Click()
{
    choosePort(5);
}

// --- the line ------------------------------------------------------------------------------

void Form1::sendFrame(ClockState& state)
{
    if (m_sender)
        m_sender->sendFrame(state.FrameBits);
}

} // namespace tikvor
