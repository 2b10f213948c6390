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

    // The line is driven from a thread of its own, so a slow adapter never holds the window.
    m_sender = m_options.lines ? std::make_unique<LineSender>(*m_options.lines)
                               : std::make_unique<LineSender>(std::make_unique<ComLines>(
                                     PortMap::fromIni(m_dataIniPath)));
    PortPanel& panel = *this;
    m_ports = std::make_unique<PortSelection>(m_state, *m_sender, panel);
    m_ports->ScanAtStartUp();
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
    if (m_ports)
        m_ports->OptionClick();
}

void Form1::Option2_Click()
{
    Option1_Click();
}

void Form1::Option3_Click()
{
    Option1_Click();
}

void Form1::Option4_Click()
{
    Option1_Click();
}

void Form1::Option5_Click()
{
    Option1_Click();
}

// --- the port panel -------------------------------------------------------------------------

bool Form1::isSelected(int n) const
{
    return option(n)->isChecked();
}

bool Form1::isEnabled(int n) const
{
    return option(n)->isEnabled();
}

void Form1::disable(int n)
{
    option(n)->setEnabled(false);
}

void Form1::select(int n)
{
    QRadioButton* button = option(n);
    if (button->isChecked())
        return;
    m_selectingFromCode = true;
    button->setChecked(true);
    m_selectingFromCode = false;
    // As a window does: selecting an enabled button from code runs its click handler now.
    if (button->isEnabled())
        Option1_Click();
}

void Form1::deselectAll()
{
    for (QRadioButton* button : m_options5) {
        button->setAutoExclusive(false);
        button->setChecked(false);
        button->setAutoExclusive(true);
    }
}

void Form1::setPortLabel(const QString& text)
{
    m_label3->setText(text);
}

void Form1::showNoPortError(const QString& text, const QString& title)
{
    m_desktop->message(this, text, title, BoxIcon::Critical);
}

void Form1::sendFrame(ClockState& state)
{
    if (m_sender)
        m_sender->sendFrame(state.FrameBits);
}

} // namespace tikvor
