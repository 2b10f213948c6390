// Start-up, the click handlers and the port panel of the main window.

#include "form1.h"

#include "desktop.h"
#include "link/texts.h"
#include "refusaltooltip.h"
#include "startup/datafolder.h"
#include "startup/files.h"
#include "startup/inireader.h"
#include "taskbar.h"
#include "virtualdisplaywindow.h"

#include <QRadioButton>

namespace tikvor {
namespace {

const QString ApplicationTitle = QStringLiteral("Tikvor");

} // namespace

// --- start-up -------------------------------------------------------------------------------

bool Form1::Form_Load()
{
    show();
    if (!m_link.dataIniPresent())
        showDataIniMissing();
    if (!CheckDataFolder()) {
        m_link.stop(PictureMissingExitStatus);
        return false;
    }
    InitCharactersAndPort();
    return true;
}

void Form1::showDataIniMissing()
{
    m_desktop->message(this, dataIniMissingText(), DataIniMissingTitle, BoxIcon::Critical);
}

bool Form1::CheckDataFolder()
{
    if (!firstMissingPicture(m_options.programFolder))
        return true;
    m_desktop->message(this, pictureMissingText(), PictureMissingTitle, BoxIcon::Critical);
    return false;
}

void Form1::InitCharactersAndPort()
{
    // The table, the port scan on the line thread, the first tick and only then Timer1: a tick
    // during a box above would have run before the table and the port.
    m_link.start();
    m_label2->setText(m_link.characterTable()[9]);
}

void Form1::showChoice(const PortView& view)
{
    m_selectingFromCode = true;
    for (int n = 1; n <= PortCount; ++n) {
        QRadioButton* button = option(n);
        const auto index = static_cast<size_t>(n - 1);
        if (!view.enabled[index])
            button->setEnabled(false);
        // Where the user looks for why a port is greyed; an enabled button has nothing to say.
        button->setToolTip(view.enabled[index] || !view.refusals[index]
                               ? QString()
                               : refusalTooltip(*view.refusals[index]));
        if (n == view.selected) {
            button->setChecked(true);
        } else if (button->isChecked()) {
            button->setAutoExclusive(false);
            button->setChecked(false);
            button->setAutoExclusive(true);
        }
    }
    m_selectingFromCode = false;
    if (view.showNoPortError)
        m_desktop->message(this, NoPortText, NoPortTitle, BoxIcon::Critical);
    m_label3->setText(view.label);
}

void Form1::showVirtualDisplay()
{
    VirtualDisplay* display = m_link.virtualDisplay();
    if (m_virtualWindow && &m_virtualWindow->display() == display)
        return;
    m_virtualWindow.reset();
    if (!display)
        return;
    m_virtualWindow = std::make_unique<VirtualDisplayWindow>(*display);
    // Tikvor_0 keeps every window of its own off the taskbar, this one too.
    if (!m_options.showInTaskbar)
        keepOffTaskbar(m_virtualWindow.get());
    m_virtualWindow->show();
}

void Form1::bringBackVirtualDisplay()
{
    if (!m_virtualWindow || &m_virtualWindow->display() != m_link.virtualDisplay())
        return;
    m_virtualWindow->show();
    m_virtualWindow->raise();
    m_virtualWindow->activateWindow();
}

// --- clicks ---------------------------------------------------------------------------------

void Form1::Image8_Click()
{
    // Decided by the client height: the outer height differs with every title bar.
    const bool folded = height() == FoldedSize.height();
    if (!folded && height() != UnfoldedSize.height())
        return;
    setFixedSize(folded ? UnfoldedSize : FoldedSize);
    m_images[7]->loadPicture(
        joinPath(m_options.programFolder, folded ? QStringLiteral("data/optionsOFF.gif")
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
    m_desktop->startTerminal(this, [this](bool started) {
        if (!started)
            m_desktop->message(this,
                               QStringLiteral("Příkazový řádek se nepodařilo spustit. Čas "
                                              "nastavíte v nastavení systému."),
                               ApplicationTitle, BoxIcon::Information);
    });
}

void Form1::Label10_Click()
{
    ClockState& state = m_link.state();
    if (!m_link.dataIniPresent()) {
        showDataIniMissing();
        return;
    }
    // A buffer of ten delivers at most nine characters of the version.
    state.VersionBuffer = readProfileString(QStringLiteral("Init"), QStringLiteral("KRVVerze"),
                                            QStringLiteral("CHYBA"), 10, m_link.dataIniPath());
    m_desktop->message(this, state.VersionBuffer, QStringLiteral("Verze Dat. souboru"),
                       BoxIcon::Information);
}

void Form1::Option1_Click()
{
    m_link.clickOption(1);
}

void Form1::Option2_Click()
{
    m_link.clickOption(2);
}

void Form1::Option3_Click()
{
    m_link.clickOption(3);
}

void Form1::Option4_Click()
{
    m_link.clickOption(4);
}

void Form1::Option5_Click()
{
    m_link.clickOption(5);
}

} // namespace tikvor
